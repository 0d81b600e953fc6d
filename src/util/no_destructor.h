// A process-wide object that is never destroyed: detached threads may still use it while
// the process exits.
#pragma once

#include <new>
#include <utility>

namespace wnd {

template <typename T>
class NoDestructor {
  public:
    template <typename... Args>
    explicit NoDestructor(Args&&... args) {
        new (storage_) T(std::forward<Args>(args)...);
    }
    NoDestructor(const NoDestructor&) = delete;
    NoDestructor& operator=(const NoDestructor&) = delete;
    T* get() { return std::launder(reinterpret_cast<T*>(storage_)); }
    T& operator*() { return *get(); }
    T* operator->() { return get(); }

  private:
    alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace wnd
