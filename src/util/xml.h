#pragma once

#include <filesystem>
#include <pugixml.hpp>

namespace wnd {

// Saves with the declaration version "1.0" encoding "UTF-8", two-blank indents, UTF-8,
// replacing the file atomically. Returns false (and logs) when the file could not be written.
bool gf_saveXmlDocument(pugi::xml_document& doc, const std::filesystem::path& path);

}  // namespace wnd
