// IOPCItemMgt: validating, adding and removing items, their per-item setters,
// and the item enumerator.
#include "bstr.h"
#include "enum_item.h"
#include "group.h"
#include "guard.h"
#include "mutex_lock.h"
#include "opc_error.h"
#include "task_mem.h"

namespace quillon {
namespace {

bool IsBlank(const wchar_t* s) {
  for (; s && *s; ++s)
    if (*s > L' ') return false;
  return true;
}

// Whether the tag's current value converts to the requested type (VT_EMPTY:
// the canonical type, always accepted).
HRESULT CheckRequestedType(const TOPCTag& tag, VARTYPE requested) {
  if (requested == VT_EMPTY) return S_OK;
  return tag.CheckConversion(requested) == S_OK ? S_OK : OPC_E_BADTYPE;
}

void NotifyItem(const HostPort& host, GroupOwner* server, TOPCTag& tag, LONG action) {
  if (ItemNotifyProc proc = host.Callbacks.itemNotify) proc(server ? server->Handle() : nullptr, tag.Handle(), action);
}

}  // namespace

HRESULT TGroup::ValidateItem(const OPCITEMDEF& def, OPCITEMRESULT& res, TOPCTag** found) {
  res.dwBlobSize = 0;
  res.pBlob = nullptr;
  *found = nullptr;
  HRESULT code = OPC_E_INVALIDITEMID;
  LoggedStep(Log(), L"ValidateItem", [&] {
    if (IsBlank(def.szItemID)) return;
    std::wstring itemId = def.szItemID;
    TOPCTag* tag = context_->space->Find(itemId);
    if (!tag) {
      if (TagNotifyProc proc = context_->host.Callbacks.tagNotify) {
        TagHandle supplied = nullptr;
        proc(Bstr(itemId).Detach(), Bstr(def.szAccessPath ? def.szAccessPath : L"").Detach(), &supplied);
        tag = TOPCTag::FromHandle(supplied);
      }
    }
    if (!tag || tag->Removed()) return;
    // The tag's identity, as far as a handle holds it; nothing maps it back.
    res.hServer = OPCHANDLE(reinterpret_cast<uintptr_t>(tag->Handle()));
    res.vtCanonicalDataType = tag->CanonicalDataType();
    res.dwAccessRights = tag->AccessRights();
    code = CheckRequestedType(*tag, def.vtRequestedDataType);
    if (code == S_OK) *found = tag;
  });
  return code;
}

TOPCItem* TGroup::AddItem(std::shared_ptr<TOPCTag> tag, const OPCITEMDEF& def) {
  TOPCTag& t = *tag;
  TOPCItem* raw = items_.Add(std::move(tag), def);
  NotifyItem(context_->host, server_, t, 0);
  return raw;
}

std::unique_ptr<TOPCItem> TGroup::DetachItem(TOPCItem& item) {
  LoggedStep(Log(), L"TGroup.RemoveItem", [&] { NotifyItem(context_->host, server_, item.Tag(), 1); });
  return items_.Detach(item);
}

void TGroup::DropDetached(std::vector<std::unique_ptr<TOPCItem>>& detached) {
  if (detached.empty()) return;
  // One pass over the queued transactions for the whole call, however many
  // items it removed.
  queues_.ForgetDetached();
  detached.clear();
}

HRESULT TGroup::ValidateAll(DWORD dwCount, const OPCITEMDEF* defs, TaskMem<OPCITEMRESULT>& results,
                            TaskMem<HRESULT>& errors, std::vector<TOPCTag*>& tags) {
  results = TaskMem<OPCITEMRESULT>(dwCount);
  errors = TaskMem<HRESULT>(dwCount);
  tags.assign(dwCount, nullptr);
  HRESULT result = S_OK;
  for (DWORD i = 0; i < dwCount; ++i) {
    errors[i] = ValidateItem(defs[i], results[i], &tags[i]);
    if (errors[i] != S_OK) result = S_FALSE;
  }
  return result;
}

STDMETHODIMP TGroup::ValidateItems(DWORD dwCount, OPCITEMDEF* pItemArray, BOOL, OPCITEMRESULT** ppValidationResults,
                                   HRESULT** ppErrors) {
  if (removed_) return E_FAIL;
  if (dwCount == 0 || !pItemArray || !ppValidationResults || !ppErrors) return E_INVALIDARG;
  return ComGuard(Log(), L"TGroup.ValidateItems", E_FAIL, [&] {
    TaskMem<OPCITEMRESULT> results;
    TaskMem<HRESULT> errors;
    std::vector<TOPCTag*> tags;
    HRESULT result = ValidateAll(dwCount, pItemArray, results, errors, tags);
    *ppValidationResults = results.Detach();
    *ppErrors = errors.Detach();
    return result;
  });
}

STDMETHODIMP TGroup::AddItems(DWORD dwCount, OPCITEMDEF* pItemArray, OPCITEMRESULT** ppAddResults,
                              HRESULT** ppErrors) {
  if (removed_) return E_FAIL;
  if (dwCount == 0 || !pItemArray || !ppAddResults || !ppErrors) return E_INVALIDARG;
  return ComGuard(Log(), L"AddItems", E_FAIL, [&] {
    TaskMem<OPCITEMRESULT> results;
    TaskMem<HRESULT> errors;
    std::vector<TOPCTag*> tags;
    HRESULT result = ValidateAll(dwCount, pItemArray, results, errors, tags);
    // All or nothing: items the client never learns the handles of must not stay.
    std::vector<TOPCItem*> added;
    added.reserve(dwCount);
    items_.Reserve(dwCount);
    try {
      for (DWORD i = 0; i < dwCount; ++i) {
        if (!tags[i]) continue;
        added.push_back(AddItem(tags[i]->shared_from_this(), pItemArray[i]));
        results[i].hServer = added.back()->ServerHandle();
      }
    } catch (...) {
      std::vector<std::unique_ptr<TOPCItem>> detached;
      detached.reserve(added.size());
      for (TOPCItem* item : added) detached.push_back(DetachItem(*item));
      DropDetached(detached);
      throw;
    }
    *ppAddResults = results.Detach();
    *ppErrors = errors.Detach();
    return result;
  });
}

STDMETHODIMP TGroup::RemoveItems(DWORD dwCount, OPCHANDLE* phServer, HRESULT** ppErrors) {
  // A handle given twice finds no item the second time: the first took it.
  std::vector<std::unique_ptr<TOPCItem>> detached;
  HRESULT hr = ForEachHandle(L"TGroup.RemoveItems", dwCount, phServer, ppErrors, [&](DWORD, TOPCItem& item) {
    if (detached.empty()) detached.reserve(dwCount);
    detached.push_back(DetachItem(item));
    return S_OK;
  });
  DropDetached(detached);
  return hr;
}

STDMETHODIMP TGroup::SetActiveState(DWORD dwCount, OPCHANDLE* phServer, BOOL bActive, HRESULT** ppErrors) {
  return ForEachHandle(L"TGroup.SetActiveState", dwCount, phServer, ppErrors, [&](DWORD, TOPCItem& item) {
    LoggedStep(Log(), L"TGroup.SetActiveState", [&] { NotifyItem(context_->host, server_, item.Tag(), bActive ? 2 : 3); });
    // An item coming alive sends its current state at the next update.
    if (bActive && !item.Active()) item.MarkInitial();
    item.SetActive(bActive != FALSE);
    return S_OK;
  });
}

STDMETHODIMP TGroup::SetClientHandles(DWORD dwCount, OPCHANDLE* phServer, OPCHANDLE* phClient, HRESULT** ppErrors) {
  if (!phClient && !removed_ && dwCount) return E_INVALIDARG;
  return ForEachHandle(L"Group.SetClientHandles", dwCount, phServer, ppErrors, [&](DWORD i, TOPCItem& item) {
    item.SetClientHandle(phClient[i]);
    return S_OK;
  });
}

STDMETHODIMP TGroup::SetDatatypes(DWORD dwCount, OPCHANDLE* phServer, VARTYPE* pRequestedDatatypes,
                                  HRESULT** ppErrors) {
  if (!pRequestedDatatypes && !removed_ && dwCount) return E_INVALIDARG;
  return ForEachHandle(L"TGroup.SetDatatypes", dwCount, phServer, ppErrors, [&](DWORD i, TOPCItem& item) {
    if (item.TagRemoved()) return OPC_E_UNKNOWNITEMID;
    HRESULT hr = CheckRequestedType(item.Tag(), pRequestedDatatypes[i]);
    if (hr == S_OK) item.SetRequestedDataType(pRequestedDatatypes[i]);
    return hr;
  });
}

STDMETHODIMP TGroup::CreateEnumerator(REFIID riid, LPUNKNOWN* ppUnk) {
  if (ppUnk) *ppUnk = nullptr;
  if (removed_) return E_FAIL;
  if (!ppUnk) return E_INVALIDARG;
  return ComGuard(Log(), L"TGroup.CreateEnumerator", E_FAIL, [&] {
    std::vector<ItemRecord> records;
    records.reserve(items_.Size());
    items_.ForEach([&](const TOPCItem& item) { records.push_back(ItemRecord::Of(item)); });
    ComPtr<IEnumOPCItemAttributes> e = MakeEnumItem(Log(), std::move(records));
    HRESULT hr = e->QueryInterface(riid, reinterpret_cast<void**>(ppUnk));
    if (FAILED(hr)) return hr;
    return items_.Empty() ? S_FALSE : S_OK;
  });
}

}  // namespace quillon
