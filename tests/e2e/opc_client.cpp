#include "opc_client.h"

#include <cstdio>
#include <utility>

namespace e2e {

std::string HrName(HRESULT hr) {
  static const std::pair<HRESULT, const char*> kNames[] = {
      {S_OK, "S_OK"},
      {S_FALSE, "S_FALSE"},
      {HRESULT(1781), "RPC_X_ENUM_VALUE_OUT_OF_RANGE"},
      {E_FAIL, "E_FAIL"},
      {E_INVALIDARG, "E_INVALIDARG"},
      {E_NOINTERFACE, "E_NOINTERFACE"},
      {E_NOTIMPL, "E_NOTIMPL"},
      {E_POINTER, "E_POINTER"},
      {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
      {E_UNEXPECTED, "E_UNEXPECTED"},
      {CONNECT_E_NOCONNECTION, "CONNECT_E_NOCONNECTION"},
      {CONNECT_E_ADVISELIMIT, "CONNECT_E_ADVISELIMIT"},
      {CONNECT_E_CANNOTCONNECT, "CONNECT_E_CANNOTCONNECT"},
      {RPC_E_DISCONNECTED, "RPC_E_DISCONNECTED"},
      {HRESULT_FROM_WIN32(RPC_S_UNKNOWN_IF), "RPC_S_UNKNOWN_IF"},
      {RPC_E_SERVERFAULT, "RPC_E_SERVERFAULT"},
      {HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE), "RPC_S_SERVER_UNAVAILABLE"},
      {HRESULT_FROM_WIN32(RPC_X_NULL_REF_POINTER), "RPC_X_NULL_REF_POINTER"},
      {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG"},
      {CO_E_SERVER_EXEC_FAILURE, "CO_E_SERVER_EXEC_FAILURE"},
      {OPC_E_INVALIDHANDLE, "OPC_E_INVALIDHANDLE"},
      {OPC_E_BADTYPE, "OPC_E_BADTYPE"},
      {OPC_E_PUBLIC, "OPC_E_PUBLIC"},
      {OPC_E_BADRIGHTS, "OPC_E_BADRIGHTS"},
      {OPC_E_UNKNOWNITEMID, "OPC_E_UNKNOWNITEMID"},
      {OPC_E_INVALIDITEMID, "OPC_E_INVALIDITEMID"},
      {OPC_E_UNKNOWNPATH, "OPC_E_UNKNOWNPATH"},
      {OPC_E_DUPLICATENAME, "OPC_E_DUPLICATENAME"},
      {OPC_S_UNSUPPORTEDRATE, "OPC_S_UNSUPPORTEDRATE"},
      {OPC_S_INUSE, "OPC_S_INUSE"},
      {OPC_E_NOTFOUND, "OPC_E_NOTFOUND"},
  };
  char text[32];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  for (const auto& [code, name] : kNames)
    if (code == hr) return std::string(name) + " (" + text + ")";
  return text;
}

::testing::AssertionResult HrEquals(const char* actualExpr, const char* expectedExpr, HRESULT actual,
                                    HRESULT expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << actualExpr << " is " << HrName(actual) << ", expected " << expectedExpr
                                       << " = " << HrName(expected);
}

::testing::AssertionResult IsDisconnected(const char* expr, HRESULT hr) {
  if (hr == RPC_E_DISCONNECTED || hr == HRESULT_FROM_WIN32(RPC_S_UNKNOWN_IF)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << expr << " is " << HrName(hr)
                                       << ", expected the answer of a disconnected object";
}

std::string Narrow(const wchar_t* s) {
  if (!s) return "<null>";
  int n = WideCharToMultiByte(CP_UTF8, 0, s, -1, nullptr, 0, nullptr, nullptr);
  std::string text(size_t(n > 0 ? n - 1 : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, s, -1, text.data(), n, nullptr, nullptr);
  return text;
}

ItemDefs& ItemDefs::Add(std::wstring itemId, VARTYPE requested, OPCHANDLE client, BOOL active,
                        std::wstring accessPath) {
  texts_.push_back({std::move(itemId), std::move(accessPath), false});
  OPCITEMDEF def{};
  def.bActive = active;
  def.hClient = client;
  def.vtRequestedDataType = requested;
  defs_.push_back(def);
  return *this;
}

ItemDefs& ItemDefs::AddNull(OPCHANDLE client) {
  Add(L"", VT_EMPTY, client);
  texts_.back().nullId = true;
  return *this;
}

OPCITEMDEF* ItemDefs::Data() {
  // The strings may have moved while the vector grew.
  for (size_t i = 0; i < defs_.size(); ++i) {
    defs_[i].szItemID = texts_[i].nullId ? nullptr : texts_[i].id.data();
    defs_[i].szAccessPath = texts_[i].path.data();
  }
  return defs_.data();
}

Codes CodesOf(const TaskMem<HRESULT>& errors) { return Codes(errors.Get(), errors.Get() + errors.Size()); }

std::vector<ItemInfo> ItemsOf(IOPCItemMgt* items) {
  ComPtr<IEnumOPCItemAttributes> e;
  HRESULT hr = items->CreateEnumerator(__uuidof(IEnumOPCItemAttributes), e.PutUnknown());
  EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << "CreateEnumerator: " << HrName(hr);
  if (!e) return {};
  TaskMem<OPCITEMATTRIBUTES> a;
  ULONG count = 0;
  hr = e->Next(1000, a.Put(), &count);
  a.SetCount(count);
  EXPECT_HR(hr, S_FALSE) << "Next past every item";
  std::vector<ItemInfo> infos;
  for (size_t i = 0; i < a.Size(); ++i) {
    const OPCITEMATTRIBUTES& x = a[i];
    infos.push_back({x.szItemID ? x.szItemID : L"<null>", x.szAccessPath == nullptr, x.bActive, x.hClient,
                     x.hServer, x.dwAccessRights, x.vtRequestedDataType, x.vtCanonicalDataType, x.dwBlobSize,
                     x.pBlob == nullptr, x.dwEUType, V_VT(&x.vEUInfo)});
  }
  return infos;
}

std::vector<std::wstring> ItemIdsOf(IOPCItemMgt* items) {
  std::vector<std::wstring> ids;
  for (const auto& i : ItemsOf(items)) ids.push_back(i.itemId);
  return ids;
}

Enumerated ReadAll(IEnumString* e) {
  Enumerated all;
  for (int guard = 0; guard < 100; ++guard) {
    TaskString s;
    ULONG fetched = 0;
    all.last = e->Next(1, s.Put(), &fetched);
    if (fetched != 1) break;
    all.strings.emplace_back(s ? s.Get() : L"<null>");
  }
  return all;
}

Enumerated ReadAll(IEnumUnknown* e) {
  Enumerated all;
  for (int guard = 0; guard < 100; ++guard) {
    ComPtr<IUnknown> u;
    ULONG fetched = 0;
    all.last = e->Next(1, u.Put(), &fetched);
    if (fetched != 1) break;
    all.objects.push_back(std::move(u));
  }
  return all;
}

STDMETHODIMP ShutdownSink::ShutdownRequest(LPCWSTR reason) {
  reasons.push_back(reason ? std::optional<std::wstring>(reason) : std::nullopt);
  if (onRequest) onRequest();
  return S_OK;
}

STDMETHODIMP DataCallbackSink::OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*, VARIANT*, WORD*,
                                            FILETIME*, HRESULT*) {
  ++calls;
  return S_OK;
}
STDMETHODIMP DataCallbackSink::OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*, VARIANT*,
                                              WORD*, FILETIME*, HRESULT*) {
  ++calls;
  return S_OK;
}
STDMETHODIMP DataCallbackSink::OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE*, HRESULT*) {
  ++calls;
  return S_OK;
}
STDMETHODIMP DataCallbackSink::OnCancelComplete(DWORD, OPCHANDLE) {
  ++calls;
  return S_OK;
}

void HostedServer::SetUp() {
  watchdog_ = std::make_unique<Watchdog>(45000);
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  host_ = std::make_unique<HostProcess>(classId_.text, Tags());
  ASSERT_TRUE(host_->WaitReady(30000)) << "the host did not start: " << ::testing::PrintToString(host_->Events());
  server_ = Connect();
  ASSERT_TRUE(server_);
  auto handles = ServerHandles();
  ASSERT_EQ(handles.size(), 1u) << "the host reported no server object";
  serverHandle_ = handles[0];
}

void HostedServer::TearDown() {
  server_.Reset();
  if (host_) {
    // Every test must leave the host alive and able to free the server.
    EXPECT_TRUE(host_->Running()) << "the host ended during the test, exit code " << host_->ExitCode();
    EXPECT_TRUE(host_->Quit(10000));
    auto events = host_->Events();
    EXPECT_FALSE(events.empty() || events.back() != "exit") << ::testing::PrintToString(events);
    // The toolkit logs only failures that no OPC result code describes, such
    // as a fault caught by a method's guard: none may happen.
    EXPECT_EQ(Lines("log "), std::vector<std::string>{});
    EXPECT_EQ(Lines("unknown command"), std::vector<std::string>{});
    host_.reset();
  }
  watchdog_.reset();
}

ComPtr<IOPCServer> HostedServer::Connect() {
  ComPtr<IOPCServer> server;
  HRESULT hr = CoCreateInstance(classId_.clsid, nullptr, CLSCTX_LOCAL_SERVER, __uuidof(IOPCServer), server.PutVoid());
  EXPECT_HR(hr, S_OK) << "CoCreateInstance(IOPCServer)";
  return server;
}

std::vector<std::string> HostedServer::ServerHandles() const {
  std::vector<std::string> handles;
  for (const auto& l : Lines("server "))
    if (l.size() > 9 && l.compare(l.size() - 2, 2, " 0") == 0) handles.push_back(l.substr(7, l.size() - 9));
  return handles;
}

ComPtr<IOPCGroupStateMgt> HostedServer::AddGroup(IOPCServer* server, const wchar_t* name, OPCHANDLE* handle,
                                                 DWORD rate, BOOL active, OPCHANDLE client) {
  ComPtr<IOPCGroupStateMgt> group;
  OPCHANDLE h = 0;
  DWORD revised = 0;
  HRESULT hr = server->AddGroup(name, active, rate, client, nullptr, nullptr, 0, &h, &revised,
                                __uuidof(IOPCGroupStateMgt), group.PutUnknown());
  EXPECT_HR(hr, S_OK) << "AddGroup(" << Narrow(name) << ")";
  if (handle) *handle = h;
  return group;
}

std::wstring NameOf(IOPCGroupStateMgt* group) {
  DWORD rate = 0, lcid = 0;
  BOOL active = FALSE;
  TaskString name;
  LONG bias = 0;
  FLOAT deadband = 0;
  OPCHANDLE client = 0, server = 0;
  HRESULT hr = group->GetState(&rate, &active, name.Put(), &bias, &deadband, &lcid, &client, &server);
  EXPECT_HR(hr, S_OK) << "GetState";
  return name ? name.Get() : L"<null>";
}

DWORD GroupCount(IOPCServer* server) {
  TaskPtr<OPCSERVERSTATUS> status;
  HRESULT hr = server->GetStatus(status.Put());
  EXPECT_HR(hr, S_OK) << "GetStatus";
  return status ? status->dwGroupCount : DWORD(-1);
}

std::vector<ReadState> SyncRead(IOPCSyncIO* io, OPCDATASOURCE source, std::vector<OPCHANDLE> handles) {
  const DWORD n = DWORD(handles.size());
  TaskMem<OPCITEMSTATE> states;
  TaskMem<HRESULT> errors;
  HRESULT hr = io->Read(source, n, handles.data(), states.Put(n), errors.Put(n));
  EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << "IOPCSyncIO::Read: " << HrName(hr);
  std::vector<ReadState> out;
  for (size_t i = 0; states.Get() && errors.Get() && i < n; ++i) {
    const OPCITEMSTATE& s = states[i];
    out.push_back({errors[i], Shown(s.vDataValue), s.wQuality,
                   (ULONGLONG(s.ftTimeStamp.dwHighDateTime) << 32) | s.ftTimeStamp.dwLowDateTime});
  }
  return out;
}

std::vector<std::string> ValuesOf(const std::vector<ReadState>& states) {
  std::vector<std::string> values;
  for (const auto& s : states) values.push_back(s.value);
  return values;
}

std::vector<WORD> QualitiesOf(const std::vector<ReadState>& states) {
  std::vector<WORD> qualities;
  for (const auto& s : states) qualities.push_back(s.quality);
  return qualities;
}

std::vector<ULONGLONG> TimesOf(const std::vector<ReadState>& states) {
  std::vector<ULONGLONG> times;
  for (const auto& s : states) times.push_back(s.time);
  return times;
}

std::string Shown(const VARIANT& v) {
  Variant text;
  std::string shown = std::to_string(V_VT(&v)) + ":";
  if (V_VT(&v) != VT_EMPTY &&
      SUCCEEDED(VariantChangeTypeEx(&text, const_cast<VARIANT*>(&v), LOCALE_INVARIANT, 0, VT_BSTR)))
    shown += Narrow(V_BSTR(&text));
  return shown;
}

}  // namespace e2e
