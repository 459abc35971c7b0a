#include "item_id.h"

namespace quillon {

ItemIdSplit SplitItemId(std::wstring_view itemId, wchar_t qualifier) {
  auto pos = itemId.find(qualifier);
  if (pos == std::wstring_view::npos) return {itemId, std::nullopt};
  return {itemId.substr(0, pos), itemId.substr(pos + 1)};
}

std::wstring JoinItemId(std::wstring_view parentId, wchar_t qualifier, std::wstring_view name) {
  std::wstring id;
  id.reserve(parentId.size() + 1 + name.size());
  id.append(parentId);
  id.push_back(qualifier);
  id.append(name);
  return id;
}

}  // namespace quillon
