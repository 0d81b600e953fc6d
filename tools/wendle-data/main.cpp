// wendle-data: packs a plain file into the program's encrypted data-file format, or
// unpacks one (to look into a shipped file).
#include <cstdio>
#include <exception>
#include <string_view>

#include "refdata/encrypted_file.h"

namespace {

int lf_usage() {
    std::fputs(
        "usage: wendle-data pack PLAIN ENCRYPTED\n"
        "       wendle-data unpack ENCRYPTED PLAIN\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        return lf_usage();
    }
    const std::string_view command = argv[1];
    try {
        if (command == "pack") {
            wnd::gf_streamEncrypt(argv[2], argv[3]);
            return 0;
        }
        if (command == "unpack") {
            if (!wnd::gf_streamDecrypt(argv[2], argv[3])) {
                std::fprintf(stderr, "wendle-data: %s does not decrypt\n", argv[2]);
                return 1;
            }
            return 0;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "wendle-data: %s\n", e.what());
        return 1;
    }
    return lf_usage();
}
