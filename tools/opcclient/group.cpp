#include "group.h"

#include "output.h"
#include "task_mem.h"

namespace opcclient {

Group::Group(const quillon::ComPtr<IOPCServer>& server, Reporter& report, DWORD rate, bool active,
             std::optional<float> deadband)
    : server_(server), report_(report) {
  float percent = deadband.value_or(0.0f);
  HRESULT hr = server_->AddGroup(L"", active, rate, 0, nullptr, deadband ? &percent : nullptr, 0, &handle_,
                                 &revisedRate_, __uuidof(IOPCItemMgt), group_.PutUnknown());
  report_.Check(hr, "AddGroup");
  if (!group_) {
    server_->RemoveGroup(handle_, FALSE);
    report_.Error("AddGroup returned no group");
    throw Failure{kCallFailed};
  }
}

Group::~Group() {
  group_.Reset();
  if (handle_) server_->RemoveGroup(handle_, FALSE);
}

std::vector<GroupItem> Group::AddItems(const std::vector<std::wstring>& itemIds, VARTYPE requested) {
  std::vector<std::wstring> ids = itemIds;  // the definitions point into these
  std::wstring accessPath;
  std::vector<OPCITEMDEF> defs(ids.size());
  for (size_t i = 0; i < ids.size(); ++i) {
    defs[i].szAccessPath = accessPath.data();
    defs[i].szItemID = ids[i].data();
    defs[i].bActive = TRUE;
    defs[i].hClient = OPCHANDLE(i);
    defs[i].vtRequestedDataType = requested;
  }
  const DWORD count = DWORD(defs.size());
  quillon::TaskMem<OPCITEMRESULT> results;
  quillon::TaskMem<HRESULT> errors;
  report_.Check(group_->AddItems(count, defs.data(), results.Put(count), errors.Put(count)), "AddItems");

  std::vector<GroupItem> added;
  for (DWORD i = 0; i < count; ++i) {
    const HRESULT* error = errors.At(i);
    const OPCITEMRESULT* result = results.At(i);
    if (error && FAILED(*error)) {
      report_.ItemError(Field(itemIds[i]), *error);
      continue;
    }
    if (!result) {
      report_.ItemError(Field(itemIds[i]) + ": the server returned no item result", E_POINTER);
      continue;
    }
    added.push_back({itemIds[i], result->hServer, OPCHANDLE(i), result->vtCanonicalDataType, result->dwAccessRights});
  }
  return added;
}

}  // namespace opcclient
