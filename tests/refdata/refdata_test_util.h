// Helpers of the reference-data tests.
#pragma once

#include <filesystem>
#include <string>

#include "refdata/encrypted_file.h"
#include "testkit/testkit.h"

namespace wnd::testing {

// Packs the XML text into <folder>/<name> as the program's encrypted format.
inline void packXml(const std::filesystem::path& folder, const std::string& name,
                    const std::string& xml) {
    std::filesystem::create_directories(folder);
    const std::filesystem::path plain = folder / (name + ".plain-source");
    testkit::writeFile(plain, xml);
    gf_streamEncrypt(plain, folder / name);
    std::filesystem::remove(plain);
}

using testkit::errorText;

}  // namespace wnd::testing
