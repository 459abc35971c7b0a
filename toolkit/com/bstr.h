#pragma once
// Owner of one BSTR.
#include <windows.h>
#include <oleauto.h>

#include <string_view>
#include <utility>

namespace quillon {

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::wstring_view s) : s_(SysAllocStringLen(s.data(), UINT(s.size()))) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& o) noexcept : s_(std::exchange(o.s_, nullptr)) {}
  Bstr& operator=(Bstr&& o) noexcept { std::swap(s_, o.s_); return *this; }
  ~Bstr() { SysFreeString(s_); }

  // Takes over a string whose receiver must free it, such as a callback's.
  static Bstr Attach(BSTR s) {
    Bstr b;
    b.s_ = s;
    return b;
  }
  BSTR Get() const { return s_; }
  // Hands the string to a new owner, such as a callback that frees it.
  BSTR Detach() { return std::exchange(s_, nullptr); }

 private:
  BSTR s_ = nullptr;
};

}  // namespace quillon
