#pragma once
// Owners of blocks from the COM task allocator. A server fills a TaskMem and
// hands it to the client only once the whole call has succeeded: until then
// the owner frees what its elements own (strings, VARIANTs, nested property
// lists) as well as the block, so a call that fails part-way leaks nothing.
// A client receives its [out] arrays and blocks in the same owners, and frees
// them the same way, whatever the call answered.
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

  // For an [out] array: frees what is held and hands out the slot. Count is
  // the size the call is asked for; where the callee tells it (an [out]
  // count), SetCount gives it once the call has returned.
  T** Put(size_t count = 0) {
    *this = TaskMem();
    count_ = count;
    return &p_;
  }
  void SetCount(size_t count) { count_ = count; }

  T* Get() const { return p_; }
  // Zero when there is no array, whatever count it was given.
  size_t Size() const { return p_ ? count_ : 0; }
  T& operator[](size_t i) const { return p_[i]; }
  // Entry I, or null past the end and when the callee gave no array.
  T* At(size_t i) const { return i < Size() ? p_ + i : nullptr; }
  // The block and all it holds now belong to the receiver.
  T* Detach() {
    count_ = 0;
    return std::exchange(p_, nullptr);
  }

 private:
  T* p_ = nullptr;
  size_t count_ = 0;
};

// Owner of one block a callee handed out: a string (TaskString) or one
// structure, such as GetStatus's OPCSERVERSTATUS, freed with what it owns.
template <class T>
class TaskPtr {
 public:
  TaskPtr() = default;
  TaskPtr(const TaskPtr&) = delete;
  TaskPtr& operator=(const TaskPtr&) = delete;
  TaskPtr(TaskPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  TaskPtr& operator=(TaskPtr&& o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~TaskPtr() { Reset(); }

  static TaskPtr Attach(T* p) {
    TaskPtr t;
    t.p_ = p;
    return t;
  }
  void Reset() {
    if (T* p = std::exchange(p_, nullptr)) {
      ReleaseParts(*p);
      CoTaskMemFree(p);
    }
  }
  // For an [out] argument: frees what is held and hands out the slot.
  T** Put() {
    Reset();
    return &p_;
  }
  // For an [in, out] argument: the callee may free what is held and put
  // another block in its place.
  T** InOut() { return &p_; }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

using TaskString = TaskPtr<wchar_t>;

// A zero-terminated UTF-16 copy from the task allocator.
inline TaskMem<wchar_t> TaskMemString(std::wstring_view s) {
  TaskMem<wchar_t> m(s.size() + 1);
  std::memcpy(m.Get(), s.data(), s.size() * sizeof(wchar_t));
  return m;
}

}  // namespace quillon
