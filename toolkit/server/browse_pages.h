#pragma once
// Paging of IOPCBrowse::Browse over the children a browse lists: where a page
// starts from the client's continuation point, how long it is, and the point
// that resumes after it.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "opc_tag.h"

namespace quillon {

struct BrowsePage {
  size_t start = 0, count = 0;
  // Set while children are left after the page.
  std::optional<std::wstring> next;
};

// Throws EOPC(OPC_E_INVALIDCONTINUATIONPOINT) when Point names no listed child.
BrowsePage PageOf(const std::vector<TOPCTag*>& listed, const std::wstring& point, size_t maxElements);

}  // namespace quillon
