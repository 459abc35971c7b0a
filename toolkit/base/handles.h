#pragma once
// Server handles of groups and items: the object's own identity where it fits
// in a 32-bit handle; 64-bit builds number their objects instead.
#include <windows.h>

#include <atomic>
#include <cstdint>

namespace quillon {

inline DWORD NewObjectHandle(const void* object) {
  if constexpr (sizeof(void*) == 4) {
    return DWORD(reinterpret_cast<uintptr_t>(object));
  } else {
    static std::atomic<DWORD> next{1};
    DWORD h = next.fetch_add(1);
    return h ? h : next.fetch_add(1);  // never 0, which names nothing
  }
}

}  // namespace quillon
