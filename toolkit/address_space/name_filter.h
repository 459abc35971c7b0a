#pragma once
// Name filters of the browsing interfaces: case-insensitive (ASCII letters)
// wildcard patterns with ? * # [list] [!list]. Portable: no Windows headers.
#include <string_view>

namespace quillon {

// True when Name matches Filter. An empty filter matches every name.
// Runs in O(|name| * |filter|) whatever the pattern: no exponential backtracking.
bool NameMatchesFilter(std::wstring_view name, std::wstring_view filter);

}  // namespace quillon
