// Writing: through a group (IOPCSyncIO::Write, the text converted to the
// item's canonical type unless --type says otherwise) and by item ID
// (IOPCItemIO::WriteVQT, optionally with quality and timestamp).
// A line per written item: ITEMID<TAB>OK, plus the code of a success other
// than S_OK.
#include <vector>

#include "commands.h"
#include "group.h"
#include "output.h"
#include "task_mem.h"
#include "variant.h"
#include "values.h"

namespace opcclient {
namespace {

using quillon::TaskMem;
using quillon::Variant;

// One value to write, converted from its text; false when it cannot be.
bool Convert(const std::wstring& itemId, const std::wstring& text, VARTYPE type, Variant& value, Reporter& report) {
  HRESULT hr = ValueFromText(text, type, &value);
  if (SUCCEEDED(hr)) return true;
  report.LocalItemError(Field(itemId) + ": cannot convert \"" + Field(text) + "\" to " + VtName(type), hr);
  return false;
}

void ShowResults(const std::vector<std::wstring>& itemIds, const TaskMem<HRESULT>& errors, Reporter& report) {
  for (DWORD i = 0; i < DWORD(itemIds.size()); ++i) {
    const HRESULT* error = errors.At(i);
    if (!error || *error == S_OK) {
      PrintFields({Field(itemIds[i]), "OK"});
    } else if (SUCCEEDED(*error)) {
      PrintFields({Field(itemIds[i]), "OK " + report.Describe(*error)});
    } else {
      report.ItemError(Field(itemIds[i]), *error);
    }
  }
}

}  // namespace

int WriteThroughGroup(const ComPtr<IOPCServer>& server, const Options& o, Reporter& report) {
  std::vector<std::wstring> ids;
  for (const auto& w : o.writes) ids.push_back(w.first);
  Group group(server, report, 1000, false);
  const auto items = group.AddItems(ids);
  std::vector<std::wstring> written;
  std::vector<OPCHANDLE> handles;
  std::vector<Variant> values;
  for (const auto& item : items) {
    const VARTYPE type = o.type.value_or(item.canonical == VT_EMPTY ? VARTYPE(VT_BSTR) : item.canonical);
    Variant value;
    if (!Convert(item.itemId, o.writes[item.client].second, type, value, report)) continue;
    written.push_back(item.itemId);
    handles.push_back(item.server);
    values.push_back(std::move(value));
  }
  if (handles.empty()) return report.Result();
  auto sync = group.As<IOPCSyncIO>("IOPCSyncIO");
  // Shallow copies: the Variants keep owning the values.
  std::vector<VARIANT> raw;
  for (const auto& v : values) raw.push_back(v.Get());
  const DWORD n = DWORD(handles.size());
  TaskMem<HRESULT> errors;
  report.Check(sync->Write(n, handles.data(), raw.data(), errors.Put(n)), "IOPCSyncIO::Write");
  ShowResults(written, errors, report);
  return report.Result();
}

int WriteByItemId(const ComPtr<IOPCServer>& server, const Options& o, Reporter& report) {
  auto io = Require<IOPCItemIO>(server, "IOPCItemIO", report);
  std::vector<std::wstring> written;
  std::vector<Variant> values;
  for (const auto& [itemId, text] : o.writes) {
    Variant value;
    if (!Convert(itemId, text, o.type.value_or(VT_BSTR), value, report)) continue;
    written.push_back(itemId);
    values.push_back(std::move(value));
  }
  if (written.empty()) return report.Result();
  const DWORD n = DWORD(written.size());
  std::vector<LPCWSTR> ids;
  std::vector<OPCITEMVQT> vqts(n);
  for (DWORD i = 0; i < n; ++i) {
    ids.push_back(written[i].c_str());
    vqts[i].vDataValue = values[i].Get();
    vqts[i].bQualitySpecified = o.quality.has_value();
    vqts[i].wQuality = o.quality.value_or(0);
    vqts[i].bTimeStampSpecified = o.timestamp.has_value();
    vqts[i].ftTimeStamp = o.timestamp.value_or(FILETIME{});
  }
  TaskMem<HRESULT> errors;
  report.Check(io->WriteVQT(n, ids.data(), vqts.data(), errors.Put(n)), "IOPCItemIO::WriteVQT");
  ShowResults(written, errors, report);
  return report.Result();
}

}  // namespace opcclient
