#pragma once
// Owner of one VARIANT.
#include <windows.h>
#include <oleauto.h>

#include <memory>
#include <new>

namespace quillon {

// Types whose VARIANT holds the whole value, with nothing to allocate or
// release: copying one is an assignment, clearing one a no-op. Most values
// a server moves are of these, many thousands per call.
inline bool IsPlainVariantType(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_ERROR:
    case VT_BOOL:
    case VT_DECIMAL:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT: return true;
    default: return false;
  }
}

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
  ~Variant() {
    if (!IsPlainVariantType(V_VT(&v_))) VariantClear(&v_);
  }

  // Replaces the held value by a copy of src (references are followed).
  void Copy(const VARIANT& src) {
    if (IsPlainVariantType(V_VT(&src)) && IsPlainVariantType(V_VT(&v_))) {
      v_ = src;
      return;
    }
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
    if (!IsPlainVariantType(V_VT(&v_))) VariantClear(&v_);
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
