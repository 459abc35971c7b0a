#pragma once
// Owner of one open registry key.
#include <windows.h>

#include <utility>

namespace quillon {

class RegKey {
 public:
  RegKey() = default;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  RegKey(RegKey&& o) noexcept : key_(std::exchange(o.key_, nullptr)) {}
  RegKey& operator=(RegKey&& o) noexcept {
    std::swap(key_, o.key_);
    return *this;
  }
  ~RegKey() {
    if (key_) RegCloseKey(key_);
  }
  HKEY* Put() {
    if (HKEY k = std::exchange(key_, nullptr)) RegCloseKey(k);
    return &key_;
  }
  HKEY Get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace quillon
