#pragma once
// Owner of one COM interface reference.
#include <objbase.h>

#include <type_traits>
#include <utility>

namespace quillon {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference on p.
  explicit ComPtr(T* p) : p_(p) { if (p_) p_->AddRef(); }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U>
    requires std::is_convertible_v<U*, T*>
  ComPtr(const ComPtr<U>& o) : ComPtr(static_cast<T*>(o.Get())) {}
  ComPtr& operator=(ComPtr o) noexcept { std::swap(p_, o.p_); return *this; }
  ~ComPtr() { Reset(); }

  // Adopts a reference the caller already owns.
  static ComPtr Attach(T* p) { ComPtr c; c.p_ = p; return c; }
  T* Detach() { return std::exchange(p_, nullptr); }
  void Reset() { if (T* p = std::exchange(p_, nullptr)) p->Release(); }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out-parameters: releases what is held and hands out the slot.
  T** Put() { Reset(); return &p_; }
  // The same slot for out-parameters typed void** (QueryInterface,
  // CoCreateInstance) or IUnknown** (the OPC methods that take an IID).
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }
  IUnknown** PutUnknown() { return reinterpret_cast<IUnknown**>(Put()); }

  template <class U>
  HRESULT As(ComPtr<U>& out) const {
    return p_ ? p_->QueryInterface(__uuidof(U), out.PutVoid()) : E_POINTER;
  }
  // The object's interface U, or an empty pointer when it has none.
  template <class U>
  ComPtr<U> Query() const {
    ComPtr<U> u;
    As(u);
    return u;
  }

 private:
  T* p_ = nullptr;
};

// COM identity: two pointers name the same object when their IUnknowns match.
template <class A, class B>
bool SameObject(const ComPtr<A>& a, const ComPtr<B>& b) {
  return a && b && a.template Query<IUnknown>().Get() == b.template Query<IUnknown>().Get();
}

}  // namespace quillon
