#include "util/xml.h"

#include <sstream>

#include "util/files.h"

namespace wnd {

bool gf_saveXmlDocument(pugi::xml_document& doc, const std::filesystem::path& path) {
    pugi::xml_node decl = doc.first_child();
    if (decl.type() != pugi::node_declaration) {
        decl = doc.prepend_child(pugi::node_declaration);
    }
    if (!decl.attribute("version")) {
        decl.append_attribute("version");
    }
    if (!decl.attribute("encoding")) {
        decl.append_attribute("encoding");
    }
    decl.attribute("version").set_value("1.0");
    decl.attribute("encoding").set_value("UTF-8");
    std::ostringstream out;
    doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
    return gf_writeFileAtomic(path, out.str());
}

}  // namespace wnd
