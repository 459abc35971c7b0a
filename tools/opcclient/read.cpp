// Reading: through a group (IOPCSyncIO::Read from the cache or the device)
// and by item ID (IOPCItemIO::Read with a maximum age).
#include <vector>

#include "commands.h"
#include "group.h"
#include "output.h"
#include "task_mem.h"
#include "values.h"

namespace opcclient {

using quillon::TaskMem;

int ReadThroughGroup(const ComPtr<IOPCServer>& server, const Options& o, Reporter& report) {
  Group group(server, report, 1000, true);
  const auto items = group.AddItems(o.items, o.type.value_or(VT_EMPTY));
  if (items.empty()) return report.Result();
  auto sync = group.As<IOPCSyncIO>("IOPCSyncIO");
  std::vector<OPCHANDLE> handles;
  for (const auto& i : items) handles.push_back(i.server);
  const DWORD n = DWORD(handles.size());
  TaskMem<OPCITEMSTATE> states;
  TaskMem<HRESULT> errors;
  report.Check(sync->Read(o.device ? OPC_DS_DEVICE : OPC_DS_CACHE, n, handles.data(), states.Put(n), errors.Put(n)),
               "IOPCSyncIO::Read");
  for (DWORD i = 0; i < n; ++i) {
    const HRESULT* error = errors.At(i);
    const OPCITEMSTATE* state = states.At(i);
    if (error && FAILED(*error)) {
      report.ItemError(Field(items[i].itemId), *error);
    } else if (!state) {
      report.ItemError(Field(items[i].itemId) + ": the server returned no value", E_POINTER);
    } else {
      PrintLine(ValueLine(items[i].itemId, state->vDataValue, state->wQuality, state->ftTimeStamp));
    }
  }
  return report.Result();
}

int ReadByItemId(const ComPtr<IOPCServer>& server, const Options& o, Reporter& report) {
  auto io = Require<IOPCItemIO>(server, "IOPCItemIO", report);
  const DWORD n = DWORD(o.items.size());
  std::vector<LPCWSTR> ids;
  for (const auto& id : o.items) ids.push_back(id.c_str());
  std::vector<DWORD> maxAges(n, o.maxAge);
  TaskMem<VARIANT> values;
  TaskMem<WORD> qualities;
  TaskMem<FILETIME> times;
  TaskMem<HRESULT> errors;
  report.Check(io->Read(n, ids.data(), maxAges.data(), values.Put(n), qualities.Put(n), times.Put(n), errors.Put(n)),
               "IOPCItemIO::Read");
  for (DWORD i = 0; i < n; ++i) {
    const HRESULT* error = errors.At(i);
    if (error && FAILED(*error)) {
      report.ItemError(Field(o.items[i]), *error);
    } else if (!values.At(i) || !qualities.At(i) || !times.At(i)) {
      report.ItemError(Field(o.items[i]) + ": the server returned no value", E_POINTER);
    } else {
      PrintLine(ValueLine(o.items[i], *values.At(i), *qualities.At(i), *times.At(i)));
    }
  }
  return report.Result();
}

}  // namespace opcclient
