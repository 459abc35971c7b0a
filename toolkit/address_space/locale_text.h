#pragma once
// Names compared as the user locale compares them, ignoring case: how tags,
// properties and continuation points are matched.
#include <windows.h>

#include <string_view>

namespace quillon {

inline bool SameTextIgnoreCase(std::wstring_view a, std::wstring_view b) {
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), int(a.size()), b.data(), int(b.size())) ==
         CSTR_EQUAL;
}

}  // namespace quillon
