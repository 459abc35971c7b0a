#include "client_session.h"

#include <algorithm>
#include <cstdio>

#include "opc_client.h"

namespace e2e {
namespace {

class CountingSink : public ComObject<IOPCDataCallback> {
 public:
  STDMETHODIMP OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*, VARIANT*, WORD*, FILETIME*,
                            HRESULT*) override {
    ++changes;
    return S_OK;
  }
  STDMETHODIMP OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*, VARIANT*, WORD*, FILETIME*,
                              HRESULT*) override {
    ++reads;
    return S_OK;
  }
  STDMETHODIMP OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE*, HRESULT*) override { return S_OK; }
  STDMETHODIMP OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }
  int changes = 0, reads = 0;
};

}  // namespace

std::string RunClientSession(const CLSID& clsid, const std::vector<std::wstring>& itemIds) {
  auto fail = [](const char* step, HRESULT hr) {
    char text[96];
    std::snprintf(text, sizeof text, "%s: 0x%08lX", step, static_cast<unsigned long>(hr));
    return std::string(text);
  };
  const DWORD n = DWORD(itemIds.size());
  const DWORD written = std::min<DWORD>(n, 10);
  ComPtr<IOPCServer> server;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, __uuidof(IOPCServer), server.PutVoid());
  if (FAILED(hr)) return fail("connect", hr);
  OPCHANDLE groupHandle = 0;
  DWORD revised = 0;
  ComPtr<IOPCItemMgt> items;
  hr = server->AddGroup(L"Soak", TRUE, 100, 1, nullptr, nullptr, 0, &groupHandle, &revised, __uuidof(IOPCItemMgt),
                        items.PutUnknown());
  if (FAILED(hr)) return fail("AddGroup", hr);
  ItemDefs defs;
  for (DWORD i = 0; i < n; ++i) defs.Add(itemIds[i], VT_EMPTY, OPCHANDLE(i + 1));
  ItemResults added;
  hr = items->AddItems(defs.Count(), defs.Data(), added.results.Put(defs.Count()), added.errors.Put(defs.Count()));
  if (FAILED(hr)) return fail("AddItems", hr);
  std::vector<OPCHANDLE> handles;
  for (DWORD i = 0; i < n; ++i) handles.push_back(added.results[i].hServer);

  ComPtr<CountingSink> sink = MakeCom<CountingSink>();
  ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
  hr = items.Query<IConnectionPointContainer>()->FindConnectionPoint(IID_IOPCDataCallback, point.Put());
  if (SUCCEEDED(hr)) hr = point->Advise(sink.Get(), &cookie);
  if (FAILED(hr)) return fail("Advise", hr);

  auto sync = items.Query<IOPCSyncIO>();
  TaskMem<OPCITEMSTATE> states;
  TaskMem<HRESULT> errors;
  hr = sync->Read(OPC_DS_DEVICE, n, handles.data(), states.Put(n), errors.Put(n));
  if (FAILED(hr)) return fail("Read", hr);

  std::vector<VARIANT> values(written);
  for (DWORD i = 0; i < written; ++i) {
    V_VT(&values[i]) = VT_R8;
    V_R8(&values[i]) = i * 0.5;
  }
  hr = sync->Write(written, handles.data(), values.data(), errors.Put(written));
  if (FAILED(hr)) return fail("Write", hr);

  auto async = items.Query<IOPCAsyncIO2>();
  DWORD cancelId = 0;
  hr = async->Read(n, handles.data(), 7, &cancelId, errors.Put(n));
  if (FAILED(hr)) return fail("async Read", hr);
  if (!PumpUntil([&] { return sink->reads > 0; }, 10000)) return fail("OnReadComplete", E_FAIL);

  point->Unadvise(cookie);
  hr = items->RemoveItems(n, handles.data(), errors.Put(n));
  if (FAILED(hr)) return fail("RemoveItems", hr);
  point.Reset();
  items.Reset();
  hr = server->RemoveGroup(groupHandle, FALSE);
  if (FAILED(hr)) return fail("RemoveGroup", hr);
  return {};
}

}  // namespace e2e
