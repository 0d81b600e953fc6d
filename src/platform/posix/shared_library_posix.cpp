#include <dlfcn.h>

#include "platform/shared_library.h"

namespace wnd::platform {

namespace {

class PosixLibrary final : public SharedLibrary {
  public:
    explicit PosixLibrary(void* h) : handle_(h) {}
    ~PosixLibrary() override { ::dlclose(handle_); }
    PosixLibrary(const PosixLibrary&) = delete;
    PosixLibrary& operator=(const PosixLibrary&) = delete;

    LibraryFunction function(const char* name) const override {
        void* p = ::dlsym(handle_, name);
        // POSIX guarantees a data pointer from dlsym can hold a function's address.
        return reinterpret_cast<LibraryFunction>(p);
    }

  private:
    void* handle_;
};

}  // namespace

std::unique_ptr<SharedLibrary> loadSharedLibrary(const std::filesystem::path& path,
                                                 std::string* reason) {
    void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (h == nullptr) {
        if (reason != nullptr) {
            const char* e = ::dlerror();
            *reason = e != nullptr ? e : "unknown error";
        }
        return nullptr;
    }
    return std::make_unique<PosixLibrary>(h);
}

}  // namespace wnd::platform
