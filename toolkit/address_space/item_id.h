#pragma once
// Item-ID syntax: tag names joined by the tag qualifier. Portable: no Windows headers.
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// An item ID split at its first qualifier: Head is the first element; Rest is
// what follows the qualifier (possibly empty) or absent when there is none.
struct ItemIdSplit {
  std::wstring_view head;
  std::optional<std::wstring_view> rest;
};

ItemIdSplit SplitItemId(std::wstring_view itemId, wchar_t qualifier);

// "parent" + qualifier + "name"; the root's children have their bare name.
std::wstring JoinItemId(std::wstring_view parentId, wchar_t qualifier, std::wstring_view name);

}  // namespace quillon
