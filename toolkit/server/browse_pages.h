#pragma once
// Paging of IOPCBrowse::Browse over the children of a node that pass the
// browse's filters: where a page starts from the client's continuation point,
// which children it holds, and the point that resumes after it. A page costs
// what its own children cost (and the ones the filters skip), not what all
// the node's children do.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "opc_tag.h"

namespace quillon {

struct BrowsePage {
  std::vector<TOPCTag*> children;
  // Set while listed children are left after the page.
  std::optional<std::wstring> next;
};

using BrowseFilter = std::function<bool(TOPCTag&)>;

// The page of Node's children that Listed accepts, resuming after Point (none:
// from the first), of at most MaxElements (0: no limit). Throws
// EOPC(OPC_E_INVALIDCONTINUATIONPOINT) when Point names no listed child.
BrowsePage PageOf(const TOPCTag& node, const BrowseFilter& listed, const std::wstring& point, size_t maxElements);

}  // namespace quillon
