#pragma once

#include <new>
#include <utility>

// Holds a T that is built once and never destroyed. Process-wide state that other threads or
// later destructors may still touch during exit lives in one of these, so the order in which
// statics are torn down cannot pull it away from under them.
template <typename T>
class NeverDestroyed {
 public:
  template <typename... Args>
  explicit NeverDestroyed(Args&&... args) {
    ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
  }
  // No destructor on purpose: the value stays usable until the process is gone.
  NeverDestroyed(const NeverDestroyed&) = delete;
  NeverDestroyed& operator=(const NeverDestroyed&) = delete;

  T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};
