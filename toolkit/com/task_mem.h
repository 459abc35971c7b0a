#pragma once
// Owner of one array from the COM task allocator, for out-data that is handed
// to a client only once the whole call has succeeded. Until then the owner
// frees what its elements own (strings, VARIANTs, nested property lists) as
// well as the block, so a call that fails part-way leaks nothing.
#include <objbase.h>
#include <oleauto.h>

#include <cstring>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>

#include "opc_da.h"

namespace quillon {

// Frees what one element owns; the element may be zero-filled or half-filled.
template <class T>
void ReleaseParts(T& e) noexcept {
  if constexpr (std::is_same_v<T, VARIANT>) {
    VariantClear(&e);
  } else if constexpr (std::is_same_v<T, wchar_t*>) {
    CoTaskMemFree(e);
  } else if constexpr (std::is_same_v<T, OPCITEMSTATE>) {
    VariantClear(&e.vDataValue);
  } else if constexpr (std::is_same_v<T, OPCITEMRESULT>) {
    CoTaskMemFree(e.pBlob);
  } else if constexpr (std::is_same_v<T, OPCITEMATTRIBUTES>) {
    CoTaskMemFree(e.szAccessPath);
    CoTaskMemFree(e.szItemID);
    CoTaskMemFree(e.pBlob);
    VariantClear(&e.vEUInfo);
  } else if constexpr (std::is_same_v<T, OPCITEMPROPERTY>) {
    CoTaskMemFree(e.szItemID);
    CoTaskMemFree(e.szDescription);
    VariantClear(&e.vValue);
  } else if constexpr (std::is_same_v<T, OPCITEMPROPERTIES>) {
    for (DWORD k = 0; e.pItemProperties && k < e.dwNumProperties; ++k) ReleaseParts(e.pItemProperties[k]);
    CoTaskMemFree(e.pItemProperties);
  } else if constexpr (std::is_same_v<T, OPCBROWSEELEMENT>) {
    CoTaskMemFree(e.szName);
    CoTaskMemFree(e.szItemID);
    ReleaseParts(e.ItemProperties);
  } else if constexpr (std::is_same_v<T, OPCSERVERSTATUS>) {
    CoTaskMemFree(e.szVendorInfo);
  } else {
    static_assert(std::is_arithmetic_v<T> || std::is_same_v<T, FILETIME>,
                  "an element type that owns memory needs its release here");
  }
}

template <class T>
class TaskMem {
 public:
  TaskMem() = default;
  // Zero-filled: every VARIANT is VT_EMPTY and every pointer null.
  explicit TaskMem(size_t count) {
    if (count == 0) return;
    p_ = static_cast<T*>(CoTaskMemAlloc(count * sizeof(T)));
    if (!p_) throw std::bad_alloc();
    std::memset(static_cast<void*>(p_), 0, count * sizeof(T));
    count_ = count;
  }
  TaskMem(const TaskMem&) = delete;
  TaskMem& operator=(const TaskMem&) = delete;
  TaskMem(TaskMem&& o) noexcept : p_(std::exchange(o.p_, nullptr)), count_(std::exchange(o.count_, 0)) {}
  TaskMem& operator=(TaskMem&& o) noexcept {
    std::swap(p_, o.p_);
    std::swap(count_, o.count_);
    return *this;
  }
  ~TaskMem() {
    for (size_t i = 0; p_ && i < count_; ++i) ReleaseParts(p_[i]);
    CoTaskMemFree(p_);
  }

  // Takes over an array of Count elements that a callee handed out.
  static TaskMem Adopt(T* p, size_t count) {
    TaskMem m;
    m.p_ = p;
    m.count_ = p ? count : 0;
    return m;
  }

  T* Get() const { return p_; }
  size_t Size() const { return count_; }
  T& operator[](size_t i) const { return p_[i]; }
  // The block and all it holds now belong to the receiver.
  T* Detach() {
    count_ = 0;
    return std::exchange(p_, nullptr);
  }

 private:
  T* p_ = nullptr;
  size_t count_ = 0;
};

// A zero-terminated UTF-16 copy from the task allocator.
inline TaskMem<wchar_t> TaskMemString(std::wstring_view s) {
  TaskMem<wchar_t> m(s.size() + 1);
  std::memcpy(m.Get(), s.data(), s.size() * sizeof(wchar_t));
  return m;
}

}  // namespace quillon
