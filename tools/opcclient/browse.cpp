// Browsing: the address-space walker of DA 2 (names through IEnumString at a
// browse position) and the element browser of DA 3 (pages of elements with
// continuation points). Lines: KIND<TAB>NAME[<TAB>ITEMID], KIND being
// branch, leaf, branch+leaf for a DA 3 item that has children, or item for
// the names of a flat list.
#include <string>

#include "commands.h"
#include "output.h"
#include "task_mem.h"

namespace opcclient {
namespace {

using quillon::TaskMem;
using quillon::TaskString;

// Under Wine the IEnumString proxy answers this code, not S_FALSE, for a Next
// past the end.
constexpr HRESULT kEnumPastEnd = HRESULT(RPC_X_ENUM_VALUE_OUT_OF_RANGE);
constexpr ULONG kBatch = 1000;

// Every name left in the enumerator, one batch at a time; the strings of a
// batch are owned before any of them is used.
template <class Each>
HRESULT ForEachString(IEnumString* names, Each each) {
  for (;;) {
    TaskMem<LPOLESTR> batch(kBatch);  // zero-filled: the strings not fetched stay null
    ULONG fetched = 0;
    HRESULT hr = names->Next(kBatch, batch.Get(), &fetched);
    if (fetched > kBatch) fetched = 0;
    for (ULONG i = 0; i < fetched; ++i) each(batch[i] ? batch[i] : L"");
    if (hr != S_OK || fetched < kBatch) return FAILED(hr) && hr != kEnumPastEnd ? hr : S_OK;
  }
}

void ListNames(IOPCBrowseServerAddressSpace* space, OPCBROWSETYPE type, const char* kind, const Options& o,
               Reporter& report) {
  ComPtr<IEnumString> names;
  std::wstring filter = o.nameFilter;
  // The type and rights filters concern leaves only.
  const bool leaves = type != OPC_BRANCH;
  HRESULT hr = space->BrowseOPCItemIDs(type, filter.c_str(), leaves ? o.dataTypeFilter : VARTYPE(VT_EMPTY),
                                       leaves ? o.rightsFilter : 0, names.Put());
  report.Check(hr, "BrowseOPCItemIDs");
  if (!names) return;  // S_FALSE: nothing matches
  hr = ForEachString(names.Get(), [&](const wchar_t* name) {
    if (!o.itemIds) return PrintFields({kind, Field(name)});
    std::wstring copy = name;
    TaskString itemId;
    HRESULT idResult = space->GetItemID(copy.data(), itemId.Put());
    if (FAILED(idResult)) return report.ItemError("GetItemID " + Field(name), idResult);
    PrintFields({kind, Field(name), Field(TextOf(itemId.Get()))});
  });
  report.Check(hr, "IEnumString::Next");
}

const char* ElementKind(DWORD flags) {
  const bool item = flags & OPC_BROWSE_ISITEM, children = flags & OPC_BROWSE_HASCHILDREN;
  if (item) return children ? "branch+leaf" : "leaf";
  return "branch";
}

}  // namespace

int BrowseAddressSpace(const ComPtr<IOPCServer>& server, const Options& o, Reporter& report) {
  auto space = Require<IOPCBrowseServerAddressSpace>(server, "IOPCBrowseServerAddressSpace", report);
  OPCNAMESPACETYPE organization = OPC_NS_HIERARCHIAL;
  report.Check(space->QueryOrganization(&organization), "QueryOrganization");
  if (o.from) report.Check(space->ChangeBrowsePosition(OPC_BROWSE_TO, o.from->c_str()), "ChangeBrowsePosition to " + Field(*o.from));
  if (o.flat || organization == OPC_NS_FLAT) {
    ListNames(space.Get(), OPC_FLAT, "item", o, report);
    return report.Result();
  }
  if (o.browseFilter != BrowseFilter::kLeaves) ListNames(space.Get(), OPC_BRANCH, "branch", o, report);
  if (o.browseFilter != BrowseFilter::kBranches) ListNames(space.Get(), OPC_LEAF, "leaf", o, report);
  return report.Result();
}

int BrowseElements(const ComPtr<IOPCServer>& server, const Options& o, Reporter& report) {
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
    TaskMem<OPCBROWSEELEMENT> elements;
    HRESULT hr = browse->Browse(itemId.data(), continuation.InOut(), o.maxElements, filter, nameFilter.data(),
                                vendorFilter.data(), FALSE, FALSE, 0, &noPropertyIds, &more, &count, elements.Put());
    elements.SetCount(count);
    report.Check(hr, itemId.empty() ? std::string("Browse") : "Browse " + Field(itemId),
                 ItemCallCode(hr));
    for (size_t i = 0; i < elements.Size(); ++i) {
      const OPCBROWSEELEMENT& e = elements[i];
      PrintFields({ElementKind(e.dwFlagValue), Field(e.szName ? e.szName : L""),
                   Field(e.szItemID ? e.szItemID : L"")});
    }
    const std::wstring next = TextOf(continuation.Get());
    if (next.empty()) {
      if (more) report.Error("the server has more elements than it returns and no continuation point");
      return report.Result();
    }
    // A server that hands back the same point without progress would keep
    // this loop going for ever.
    if (next == previous && elements.Size() == 0) {
      report.Error("Browse made no progress at continuation point " + Field(next));
      throw Failure{kCallFailed};
    }
    previous = next;
  }
}

}  // namespace opcclient
