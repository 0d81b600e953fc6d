// A library loaded at run time: on Windows, the simulator's own SimConnect library.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace wnd::platform {

// Any exported function, for the caller to cast to its real type: the one function pointer
// type that converts to and from every other without a warning.
using LibraryFunction = void (*)();

// Unloads the library when destroyed.
class SharedLibrary {
  public:
    virtual ~SharedLibrary() = default;
    // nullptr when the library exports no function of that name.
    virtual LibraryFunction function(const char* name) const = 0;
};

// Loads a library by path, or by bare file name from the system's search path (on Windows
// the program's folder first). nullptr when it cannot be loaded; *reason then says why.
std::unique_ptr<SharedLibrary> loadSharedLibrary(const std::filesystem::path& path,
                                                 std::string* reason = nullptr);

}  // namespace wnd::platform
