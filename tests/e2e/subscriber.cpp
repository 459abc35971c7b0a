// A client program that subscribes and then only waits, for the tests that
// kill a subscribed client or make one slow:
//   e2e_subscriber.exe CLASSID READY_EVENT MODE [keepalive:MS] ITEMID...
// It connects to the server class, adds an active group "Sub" of rate 100
// with the items, connects one sink, sets READY_EVENT and pumps messages
// until it is killed (or, at the latest, after two minutes).
// MODE: callback (IOPCDataCallback), stream (IDataObject::DAdvise with
// OPCSTMFORMATDATATIME), shutdown (IOPCShutdown on the server only), or
// slow:MS (IOPCDataCallback sleeping MS in every OnDataChange). keepalive:MS
// sets the group's keep-alive time.
// Exit codes: 0 after the two minutes, 10 + the step that failed.
#include <cstdlib>
#include <cstring>
#include <string>

#include "apartment.h"
#include "opc_client.h"
#include "unique_handle.h"

namespace {

class SleepingSink : public quillon::ComObject<IOPCDataCallback> {
 public:
  explicit SleepingSink(DWORD ms) : ms_(ms) {}
  STDMETHODIMP OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*, VARIANT*, WORD*, FILETIME*,
                            HRESULT*) override {
    Sleep(ms_);
    return S_OK;
  }
  STDMETHODIMP OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*, VARIANT*, WORD*, FILETIME*,
                              HRESULT*) override {
    return S_OK;
  }
  STDMETHODIMP OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE*, HRESULT*) override { return S_OK; }
  STDMETHODIMP OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }

 private:
  DWORD ms_;
};

class StreamSink : public quillon::ComObject<IAdviseSink> {
 public:
  STDMETHODIMP_(void) OnDataChange(FORMATETC*, STGMEDIUM*) override {}
  STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override {}
  STDMETHODIMP_(void) OnRename(IMoniker*) override {}
  STDMETHODIMP_(void) OnSave() override {}
  STDMETHODIMP_(void) OnClose() override {}
};

int Run(int argc, char** argv) {
  CLSID clsid;
  std::wstring classText(argv[1], argv[1] + std::strlen(argv[1]));
  if (FAILED(CLSIDFromString(classText.c_str(), &clsid))) return 11;
  quillon::ComPtr<IOPCServer> server;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, __uuidof(IOPCServer), server.PutVoid())))
    return 12;
  const std::string mode = argv[3];

  quillon::ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
  quillon::ComPtr<IOPCItemMgt> items;
  if (mode == "shutdown") {
    if (FAILED(server.Query<IConnectionPointContainer>()->FindConnectionPoint(IID_IOPCShutdown, point.Put())))
      return 13;
    if (FAILED(point->Advise(quillon::MakeCom<e2e::ShutdownSink>().Get(), &cookie))) return 14;
  } else {
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    if (FAILED(server->AddGroup(L"Sub", TRUE, 100, 1, nullptr, nullptr, 0, &handle, &revised, __uuidof(IOPCItemMgt),
                                items.PutUnknown())))
      return 15;
    int first = 4;
    if (argc > first && std::strncmp(argv[first], "keepalive:", 10) == 0) {
      DWORD revisedKeepAlive = 0;
      auto state = items.Query<IOPCGroupStateMgt2>();
      if (!state || FAILED(state->SetKeepAlive(DWORD(std::atol(argv[first] + 10)), &revisedKeepAlive))) return 22;
      ++first;
    }
    e2e::ItemDefs defs;
    for (int i = first; i < argc; ++i) defs.Add(std::wstring(argv[i], argv[i] + std::strlen(argv[i])), VT_EMPTY, i);
    e2e::ItemResults added;
    if (defs.Count() && FAILED(items->AddItems(defs.Count(), defs.Data(), added.results.Put(defs.Count()),
                                               added.errors.Put(defs.Count()))))
      return 16;
    if (mode == "stream") {
      FORMATETC format{CLIPFORMAT(RegisterClipboardFormatW(L"OPCSTMFORMATDATATIME")), nullptr, DVASPECT_CONTENT, -1,
                       TYMED_HGLOBAL};
      quillon::ComPtr<IAdviseSink> sink = quillon::MakeCom<StreamSink>();
      if (FAILED(items.Query<IDataObject>()->DAdvise(&format, 0, sink.Get(), &cookie))) return 17;
    } else {
      quillon::ComPtr<IOPCDataCallback> sink;
      if (mode.rfind("slow:", 0) == 0)
        sink = quillon::MakeCom<SleepingSink>(DWORD(std::atol(mode.c_str() + 5)));
      else if (mode == "callback")
        sink = quillon::MakeCom<e2e::DataCallbackSink>();
      else
        return 18;
      if (FAILED(items.Query<IConnectionPointContainer>()->FindConnectionPoint(IID_IOPCDataCallback, point.Put())))
        return 19;
      if (FAILED(point->Advise(sink.Get(), &cookie))) return 20;
    }
  }

  quillon::UniqueHandle ready(OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]));
  if (!ready) return 21;
  SetEvent(ready.Get());
  // LIFETIME_MS in the environment: a client that leaves by itself.
  const char* lifetime = std::getenv("SUBSCRIBER_LIFETIME_MS");
  e2e::PumpUntil([] { return false; }, lifetime ? DWORD(std::atol(lifetime)) : 120000);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 1;
  quillon::Apartment apartment(COINIT_APARTMENTTHREADED);
  if (FAILED(apartment.Result())) return 2;
  return Run(argc, argv);
}
