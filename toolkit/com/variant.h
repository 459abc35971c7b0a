#pragma once
// Owner of one VARIANT.
#include <windows.h>
#include <oleauto.h>

#include <memory>
#include <new>

namespace quillon {

class Variant {
 public:
  Variant() { VariantInit(&v_); }
  explicit Variant(const VARIANT& src) : Variant() { Copy(src); }
  Variant(const Variant& o) : Variant() { Copy(o.v_); }
  Variant& operator=(const Variant& o) {
    if (this != &o) Copy(o.v_);
    return *this;
  }
  // A move hands the value over and leaves the source empty.
  Variant(Variant&& o) noexcept : v_(o.v_) { VariantInit(&o.v_); }
  Variant& operator=(Variant&& o) noexcept {
    if (this != std::addressof(o)) Adopt(o.v_);
    return *this;
  }
  ~Variant() { VariantClear(&v_); }

  // Replaces the held value by a copy of src (references are followed).
  void Copy(const VARIANT& src) {
    VARIANT tmp;
    VariantInit(&tmp);
    HRESULT hr = VariantCopyInd(&tmp, const_cast<VARIANT*>(&src));
    if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
    if (FAILED(hr)) tmp.vt = VT_EMPTY;
    VariantClear(&v_);
    v_ = tmp;
  }
  void Clear() { VariantClear(&v_); }
  // Takes over src's contents; src is left empty.
  void Adopt(VARIANT& src) {
    VariantClear(&v_);
    v_ = src;
    VariantInit(&src);
  }
  // Hands the value to a new owner, leaving this empty.
  VARIANT Detach() {
    VARIANT v = v_;
    VariantInit(&v_);
    return v;
  }

  VARIANT& Get() { return v_; }
  const VARIANT& Get() const { return v_; }
  VARIANT* operator&() { return &v_; }
  VARTYPE Type() const { return V_VT(&v_); }

 private:
  VARIANT v_;
};

}  // namespace quillon
