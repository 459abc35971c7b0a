#pragma once
// Owner of one block from the COM task allocator, for out-data that is handed
// to a client only once the whole call has succeeded.
#include <objbase.h>

#include <cstring>
#include <new>
#include <string_view>
#include <utility>

namespace quillon {

template <class T>
class TaskMem {
 public:
  TaskMem() = default;
  explicit TaskMem(size_t count) {
    if (count == 0) return;
    p_ = static_cast<T*>(CoTaskMemAlloc(count * sizeof(T)));
    if (!p_) throw std::bad_alloc();
    std::memset(static_cast<void*>(p_), 0, count * sizeof(T));
  }
  TaskMem(const TaskMem&) = delete;
  TaskMem& operator=(const TaskMem&) = delete;
  TaskMem(TaskMem&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  TaskMem& operator=(TaskMem&& o) noexcept { std::swap(p_, o.p_); return *this; }
  ~TaskMem() { CoTaskMemFree(p_); }

  T* Get() const { return p_; }
  T& operator[](size_t i) const { return p_[i]; }
  T* Detach() { return std::exchange(p_, nullptr); }

 private:
  T* p_ = nullptr;
};

// A zero-terminated UTF-16 copy from the task allocator.
inline TaskMem<wchar_t> TaskMemString(std::wstring_view s) {
  TaskMem<wchar_t> m(s.size() + 1);
  std::memcpy(m.Get(), s.data(), s.size() * sizeof(wchar_t));
  return m;
}

}  // namespace quillon
