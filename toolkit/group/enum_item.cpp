#include "enum_item.h"

#include "enumerator.h"
#include "task_mem.h"

namespace quillon {
namespace {

// Next hands out a new array per call, and S_FALSE (not 1781) at the end.
class TEnumItem : public TEnumCursor<TEnumItem, IEnumOPCItemAttributes, ItemRecord> {
 public:
  using TEnumCursor::TEnumCursor;

  STDMETHODIMP Next(ULONG celt, OPCITEMATTRIBUTES** ppItemArray, ULONG* pceltFetched) override {
    if (celt == 0) return E_INVALIDARG;
    if (!ppItemArray || !pceltFetched) return E_POINTER;
    *ppItemArray = nullptr;
    *pceltFetched = 0;
    return ComGuard(log_, L"TEnumItem.Next", E_OUTOFMEMORY, [&] {
      ULONG n = Available(celt);
      TaskMem<OPCITEMATTRIBUTES> out(n);
      for (ULONG i = 0; i < n; ++i) {
        out[i] = (*items_)[position_ + i].attributes;
        out[i].szItemID = TaskMemString((*items_)[position_ + i].itemId).Detach();
      }
      position_ += n;
      *pceltFetched = n;
      *ppItemArray = out.Detach();
      return n == celt ? S_OK : S_FALSE;
    });
  }
};

}  // namespace

ItemRecord ItemRecord::Of(const TOPCItem& item) {
  TaskMem<OPCITEMATTRIBUTES> filled(1);
  const OPCITEMATTRIBUTES& a = filled[0];
  if (!item.GetAttributes(filled[0])) throw std::runtime_error("item attributes failed");
  // The record keeps the plain fields; the strings stay with the filled copy.
  ItemRecord r{a.szItemID ? a.szItemID : L"", a};
  r.attributes.szItemID = nullptr;
  r.attributes.szAccessPath = nullptr;
  VariantInit(&r.attributes.vEUInfo);
  return r;
}

ComPtr<IEnumOPCItemAttributes> MakeEnumItem(const LogSink& log, std::vector<ItemRecord> records) {
  auto snapshot = std::make_shared<const std::vector<ItemRecord>>(std::move(records));
  return MakeCom<TEnumItem>(log, std::move(snapshot), 0);
}

}  // namespace quillon
