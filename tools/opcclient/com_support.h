#pragma once
// Ownership of what a COM client holds: interface references, the apartment,
// kernel handles, VARIANTs, and the task-memory arrays a server hands back.
// A server may answer with null arrays or leave entries zeroed; every holder
// here tolerates that.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <memory>
#include <string>
#include <utility>

namespace opcclient {

template <class I>
class Com {
 public:
  Com() = default;
  // Adopts one reference.
  explicit Com(I* p) : p_(p) {}
  Com(const Com& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  Com(Com&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  Com& operator=(Com o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~Com() { reset(); }

  I* get() const { return p_; }
  I* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  I** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  IUnknown** put_unknown() { return reinterpret_cast<IUnknown**>(put()); }
  void reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }
  // The object's interface J, or an empty pointer when it has none.
  template <class J>
  Com<J> As() const {
    Com<J> j;
    if (p_) p_->QueryInterface(__uuidof(J), j.put_void());
    return j;
  }

 private:
  I* p_ = nullptr;
};

// CoInitializeEx for this thread, undone on scope exit when it succeeded.
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

struct TaskMemFree {
  void operator()(void* p) const { CoTaskMemFree(p); }
};
template <class T>
using TaskMem = std::unique_ptr<T, TaskMemFree>;

// A string the callee allocated with CoTaskMemAlloc.
class TaskString {
 public:
  TaskString() = default;
  TaskString(const TaskString&) = delete;
  TaskString& operator=(const TaskString&) = delete;
  ~TaskString() { CoTaskMemFree(p_); }
  LPWSTR* put() {
    CoTaskMemFree(std::exchange(p_, nullptr));
    return &p_;
  }
  // For an [in, out] string: the callee may free the string and put another.
  LPWSTR* inout() { return &p_; }
  const wchar_t* get() const { return p_; }
  std::wstring str() const { return p_ ? p_ : L""; }

 private:
  LPWSTR p_ = nullptr;
};

class Variant {
 public:
  Variant() { VariantInit(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  Variant(Variant&& o) noexcept : v_(o.v_) { VariantInit(&o.v_); }
  ~Variant() { VariantClear(&v_); }
  VARIANT* get() { return &v_; }
  const VARIANT& operator*() const { return v_; }
  // Hands the value over, leaving this empty.
  VARIANT Detach() {
    VARIANT v = v_;
    VariantInit(&v_);
    return v;
  }

 private:
  VARIANT v_;
};

// A kernel handle, closed on scope exit.
class Handle {
 public:
  explicit Handle(HANDLE h = nullptr) : h_(h) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (h_) CloseHandle(h_);
  }
  HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  void reset(HANDLE h) {
    if (h_) CloseHandle(h_);
    h_ = h;
  }

 private:
  HANDLE h_;
};

// Releases what one array entry owns.
template <class T>
struct NoCleanup {
  void operator()(T&) const {}
};
struct ClearVariant {
  void operator()(VARIANT& v) const { VariantClear(&v); }
};
struct FreeString {
  void operator()(LPWSTR& s) const { CoTaskMemFree(std::exchange(s, nullptr)); }
};

// An [out, size_is(, n)] array. Its count comes from the call (the request's
// count, or an [out] count the server fills) and is set before it is read;
// the entries and the block are freed together.
template <class T, class Cleanup = NoCleanup<T>>
class OutArray {
 public:
  OutArray() = default;
  explicit OutArray(DWORD count) : count_(count) {}
  OutArray(const OutArray&) = delete;
  OutArray& operator=(const OutArray&) = delete;
  ~OutArray() { Free(); }

  T** put() {
    Free();
    return &p_;
  }
  void SetCount(DWORD count) { count_ = count; }
  DWORD Count() const { return p_ ? count_ : 0; }
  // Null when the server gave no array.
  T* At(DWORD i) const { return p_ && i < count_ ? p_ + i : nullptr; }

 private:
  void Free() {
    if (p_)
      for (DWORD i = 0; i < count_; ++i) Cleanup()(p_[i]);
    CoTaskMemFree(std::exchange(p_, nullptr));
  }

  T* p_ = nullptr;
  DWORD count_ = 0;
};

using HresultArray = OutArray<HRESULT>;
using VariantArray = OutArray<VARIANT, ClearVariant>;
using StringArray = OutArray<LPWSTR, FreeString>;

}  // namespace opcclient
