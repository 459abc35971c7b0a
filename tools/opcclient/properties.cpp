// Item properties, through IOPCItemProperties (QueryAvailableProperties then
// GetItemProperties) or IOPCBrowse::GetProperties. A line per property:
// ID<TAB>DESCRIPTION<TAB>VALUE<TAB>VT.
#include <string>
#include <vector>

#include "commands.h"
#include "output.h"
#include "task_mem.h"
#include "values.h"

namespace opcclient {
namespace {

using quillon::TaskMem;

void PrintProperty(DWORD id, const std::wstring& description, const VARIANT& value) {
  PrintFields({std::to_string(id), Field(description), ValueText(value), VtName(V_VT(&value))});
}

int ThroughItemProperties(const ComPtr<IOPCServer>& server, const Options& o, Reporter& report) {
  auto properties = Require<IOPCItemProperties>(server, "IOPCItemProperties", report);
  std::wstring itemId = o.items[0];
  DWORD available = 0;
  TaskMem<DWORD> ids;
  TaskMem<LPWSTR> descriptions;
  TaskMem<VARTYPE> types;
  HRESULT hr = properties->QueryAvailableProperties(itemId.data(), &available, ids.Put(), descriptions.Put(),
                                                    types.Put());
  ids.SetCount(available);
  descriptions.SetCount(available);
  types.SetCount(available);
  report.Check(hr, "QueryAvailableProperties " + Field(itemId), ItemCallCode(hr));

  std::vector<DWORD> wanted = o.propertyIds;
  if (wanted.empty())
    for (size_t i = 0; i < ids.Size(); ++i) wanted.push_back(ids[i]);
  if (wanted.empty()) return report.Result();
  auto describe = [&](DWORD id) -> std::wstring {
    for (size_t i = 0; i < ids.Size(); ++i)
      if (ids[i] == id && descriptions.At(i) && *descriptions.At(i)) return *descriptions.At(i);
    return L"";
  };

  const DWORD n = DWORD(wanted.size());
  TaskMem<VARIANT> values;
  TaskMem<HRESULT> errors;
  hr = properties->GetItemProperties(itemId.data(), n, wanted.data(), values.Put(n), errors.Put(n));
  report.Check(hr, "GetItemProperties " + Field(itemId), ItemCallCode(hr));
  for (DWORD i = 0; i < n; ++i) {
    const HRESULT* error = errors.At(i);
    if (error && FAILED(*error)) {
      report.ItemError(Field(itemId) + " property " + std::to_string(wanted[i]), *error);
    } else if (!values.At(i)) {
      report.ItemError(Field(itemId) + " property " + std::to_string(wanted[i]) + ": no value", E_POINTER);
    } else {
      PrintProperty(wanted[i], describe(wanted[i]), *values.At(i));
    }
  }
  return report.Result();
}

int ThroughBrowse(const ComPtr<IOPCServer>& server, const Options& o, Reporter& report) {
  auto browse = Require<IOPCBrowse>(server, "IOPCBrowse", report);
  std::wstring itemId = o.items[0];
  LPWSTR ids[1] = {itemId.data()};
  std::vector<DWORD> wanted = o.propertyIds;
  // A reference parameter: the proxy refuses null even with a count of zero.
  DWORD none = 0;
  TaskMem<OPCITEMPROPERTIES> result;
  report.Check(browse->GetProperties(1, ids, TRUE, DWORD(wanted.size()), wanted.empty() ? &none : wanted.data(),
                                     result.Put(1)),
               "IOPCBrowse::GetProperties " + Field(itemId));
  const OPCITEMPROPERTIES* item = result.At(0);
  if (!item) {
    report.ItemError(Field(itemId) + ": the server returned no properties", E_POINTER);
    return report.Result();
  }
  if (FAILED(item->hrErrorID)) {
    report.ItemError(Field(itemId), item->hrErrorID);
    return report.Result();
  }
  const DWORD count = item->pItemProperties ? item->dwNumProperties : 0;
  for (DWORD i = 0; i < count; ++i) {
    const OPCITEMPROPERTY& p = item->pItemProperties[i];
    // A failed entry may leave its ID zero; the request says which it was.
    const DWORD id = p.dwPropertyID || i >= wanted.size() ? p.dwPropertyID : wanted[i];
    if (FAILED(p.hrErrorID))
      report.ItemError(Field(itemId) + " property " + std::to_string(id), p.hrErrorID);
    else
      PrintProperty(p.dwPropertyID, p.szDescription ? p.szDescription : L"", p.vValue);
  }
  return report.Result();
}

}  // namespace

int ShowProperties(const ComPtr<IOPCServer>& server, const Options& o, Reporter& report) {
  return o.browseProperties ? ThroughBrowse(server, o, report) : ThroughItemProperties(server, o, report);
}

}  // namespace opcclient
