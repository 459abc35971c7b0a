#pragma once
// Owner of one kernel handle.
#include <windows.h>

#include <utility>

namespace quillon {

class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : h_(h) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept { std::swap(h_, o.h_); return *this; }
  ~UniqueHandle() { Reset(); }

  void Reset() {
    if (HANDLE h = std::exchange(h_, nullptr); h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  HANDLE Get() const { return h_; }
  explicit operator bool() const { return h_ && h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_ = nullptr;
};

}  // namespace quillon
