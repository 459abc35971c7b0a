#pragma once
// This thread's COM apartment for the owner's lifetime: CoInitializeEx, undone
// on scope exit when it succeeded.
#include <objbase.h>

namespace quillon {

class Apartment {
 public:
  explicit Apartment(DWORD model) : hr_(CoInitializeEx(nullptr, model)) {}
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;
  ~Apartment() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  HRESULT Result() const { return hr_; }

 private:
  HRESULT hr_;
};

}  // namespace quillon
