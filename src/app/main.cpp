#include <string>
#include <vector>

#include "app/process_entry.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv, argv + argc);
    return wnd::gf_processEntry(args);
}
