// Browsing: the address-space walker of DA 2 (names through IEnumString at a
// browse position) and the element browser of DA 3 (pages of elements with
// continuation points). Lines: KIND<TAB>NAME[<TAB>ITEMID], KIND being
// branch, leaf, branch+leaf for a DA 3 item that has children, or item for
// the names of a flat list.
#include <algorithm>
#include <memory>
#include <vector>

#include "commands.h"
#include "output.h"

namespace opcclient {
namespace {

// Under Wine the IEnumString proxy answers this code, not S_FALSE, for a Next
// past the end.
constexpr HRESULT kEnumPastEnd = HRESULT(RPC_X_ENUM_VALUE_OUT_OF_RANGE);
constexpr ULONG kBatch = 1000;

// Every name left in the enumerator, one batch at a time; the strings of a
// batch are owned before any of them is used.
template <class Each>
HRESULT ForEachString(IEnumString* names, Each each) {
  std::vector<LPOLESTR> batch(kBatch);
  for (;;) {
    std::fill(batch.begin(), batch.end(), nullptr);
    ULONG fetched = 0;
    HRESULT hr = names->Next(kBatch, batch.data(), &fetched);
    if (fetched > kBatch) fetched = 0;
    std::vector<TaskMem<wchar_t>> owned;
    owned.reserve(fetched);
    for (ULONG i = 0; i < fetched; ++i) owned.emplace_back(batch[i]);
    for (const auto& name : owned) each(name.get() ? name.get() : L"");
    if (hr != S_OK || fetched < kBatch) return FAILED(hr) && hr != kEnumPastEnd ? hr : S_OK;
  }
}

void ListNames(IOPCBrowseServerAddressSpace* space, OPCBROWSETYPE type, const char* kind, const Options& o,
               Reporter& report) {
  Com<IEnumString> names;
  std::wstring filter = o.nameFilter;
  // The type and rights filters concern leaves only.
  const bool leaves = type != OPC_BRANCH;
  HRESULT hr = space->BrowseOPCItemIDs(type, filter.c_str(), leaves ? o.dataTypeFilter : VARTYPE(VT_EMPTY),
                                       leaves ? o.rightsFilter : 0, names.put());
  report.Check(hr, "BrowseOPCItemIDs");
  if (!names) return;  // S_FALSE: nothing matches
  hr = ForEachString(names.get(), [&](const wchar_t* name) {
    if (!o.itemIds) return PrintFields({kind, Field(name)});
    std::wstring copy = name;
    TaskString itemId;
    HRESULT idResult = space->GetItemID(copy.data(), itemId.put());
    if (FAILED(idResult)) return report.ItemError("GetItemID " + Field(name), idResult);
    PrintFields({kind, Field(name), Field(itemId.str())});
  });
  report.Check(hr, "IEnumString::Next");
}

struct FreeElement {
  void operator()(OPCBROWSEELEMENT& e) const {
    CoTaskMemFree(e.szName);
    CoTaskMemFree(e.szItemID);
    OPCITEMPROPERTIES& p = e.ItemProperties;
    if (p.pItemProperties) {
      for (DWORD i = 0; i < p.dwNumProperties; ++i) {
        CoTaskMemFree(p.pItemProperties[i].szItemID);
        CoTaskMemFree(p.pItemProperties[i].szDescription);
        VariantClear(&p.pItemProperties[i].vValue);
      }
      CoTaskMemFree(p.pItemProperties);
    }
    e = {};
  }
};

const char* ElementKind(DWORD flags) {
  const bool item = flags & OPC_BROWSE_ISITEM, children = flags & OPC_BROWSE_HASCHILDREN;
  if (item) return children ? "branch+leaf" : "leaf";
  return "branch";
}

}  // namespace

int BrowseAddressSpace(const Com<IOPCServer>& server, const Options& o, Reporter& report) {
  auto space = Require<IOPCBrowseServerAddressSpace>(server, "IOPCBrowseServerAddressSpace", report);
  OPCNAMESPACETYPE organization = OPC_NS_HIERARCHIAL;
  report.Check(space->QueryOrganization(&organization), "QueryOrganization");
  if (o.from) report.Check(space->ChangeBrowsePosition(OPC_BROWSE_TO, o.from->c_str()), "ChangeBrowsePosition to " + Field(*o.from));
  if (o.flat || organization == OPC_NS_FLAT) {
    ListNames(space.get(), OPC_FLAT, "item", o, report);
    return report.Result();
  }
  if (o.browseFilter != BrowseFilter::kLeaves) ListNames(space.get(), OPC_BRANCH, "branch", o, report);
  if (o.browseFilter != BrowseFilter::kBranches) ListNames(space.get(), OPC_LEAF, "leaf", o, report);
  return report.Result();
}

int BrowseElements(const Com<IOPCServer>& server, const Options& o, Reporter& report) {
  auto browse = Require<IOPCBrowse>(server, "IOPCBrowse", report);
  std::wstring itemId = o.items.empty() ? L"" : o.items[0];
  std::wstring nameFilter = o.nameFilter, vendorFilter = o.vendorFilter;
  const OPCBROWSEFILTER filter = o.browseFilter == BrowseFilter::kBranches ? OPC_BROWSE_FILTER_BRANCHES
                                 : o.browseFilter == BrowseFilter::kLeaves ? OPC_BROWSE_FILTER_ITEMS
                                                                           : OPC_BROWSE_FILTER_ALL;
  TaskString continuation;
  std::wstring previous;
  // A reference parameter: the proxy refuses null even with a count of zero.
  DWORD noPropertyIds = 0;
  for (;;) {
    BOOL more = FALSE;
    DWORD count = 0;
    OutArray<OPCBROWSEELEMENT, FreeElement> elements;
    HRESULT hr = browse->Browse(itemId.data(), continuation.inout(), o.maxElements, filter, nameFilter.data(),
                                vendorFilter.data(), FALSE, FALSE, 0, &noPropertyIds, &more, &count, elements.put());
    elements.SetCount(count);
    report.Check(hr, itemId.empty() ? std::string("Browse") : "Browse " + Field(itemId),
                 ItemCallCode(hr));
    for (DWORD i = 0; i < elements.Count(); ++i) {
      const OPCBROWSEELEMENT& e = *elements.At(i);
      PrintFields({ElementKind(e.dwFlagValue), Field(e.szName ? e.szName : L""),
                   Field(e.szItemID ? e.szItemID : L"")});
    }
    const std::wstring next = continuation.str();
    if (next.empty()) {
      if (more) report.Error("the server has more elements than it returns and no continuation point");
      return report.Result();
    }
    // A server that hands back the same point without progress would keep
    // this loop going for ever.
    if (next == previous && elements.Count() == 0) {
      report.Error("Browse made no progress at continuation point " + Field(next));
      throw Failure{kCallFailed};
    }
    previous = next;
  }
}

}  // namespace opcclient
