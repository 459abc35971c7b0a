#pragma once
// What the end-to-end client tests share: HRESULT assertions that name the
// codes, the client's callback sinks, and a fixture that starts a host with a
// class ID of its own and connects to it through the proxy/stub DLL. What a
// client holds and must free is held in the toolkit's COM owners.
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "com_object.h"
#include "com_ptr.h"
#include "host_process.h"
#include "opc_common.h"
#include "opc_da.h"
#include "opc_error.h"
#include "task_mem.h"
#include "variant.h"

namespace e2e {

using quillon::ComObject;
using quillon::ComPtr;
using quillon::MakeCom;
using quillon::SameObject;
using quillon::TaskMem;
using quillon::TaskPtr;
using quillon::TaskString;
using quillon::Variant;

std::string HrName(HRESULT hr);

// An HRESULT that prints by name, for comparing per-item result arrays.
struct Hr {
  Hr(HRESULT v) : value(v) {}  // NOLINT: implicit, so {S_OK, E_FAIL} reads as codes
  bool operator==(const Hr&) const = default;
  HRESULT value;
};
inline void PrintTo(const Hr& hr, std::ostream* os) { *os << HrName(hr.value); }
using Codes = std::vector<Hr>;
::testing::AssertionResult HrEquals(const char* actualExpr, const char* expectedExpr, HRESULT actual,
                                    HRESULT expected);
#define EXPECT_HR(actual, expected) EXPECT_PRED_FORMAT2(::e2e::HrEquals, actual, expected)
#define ASSERT_HR(actual, expected) ASSERT_PRED_FORMAT2(::e2e::HrEquals, actual, expected)

// What a call on an object that the server cut off with CoDisconnectObject
// answers: RPC_E_DISCONNECTED on Windows, RPC_S_UNKNOWN_IF (as an HRESULT)
// under Wine, whose stub manager is gone by then. A crashed host answers
// otherwise (RPC_S_SERVER_UNAVAILABLE, RPC_E_SERVERFAULT).
::testing::AssertionResult IsDisconnected(const char* expr, HRESULT hr);
#define EXPECT_DISCONNECTED(hr) EXPECT_PRED_FORMAT1(::e2e::IsDisconnected, hr)

std::string Narrow(const wchar_t* s);
// A value as text (invariant locale) prefixed with its VARTYPE, so that both
// are compared at once: "3:7" is VT_I4 7.
std::string Shown(const VARIANT& v);

// Item definitions that keep their strings alive.
class ItemDefs {
 public:
  ItemDefs& Add(std::wstring itemId, VARTYPE requested = VT_EMPTY, OPCHANDLE client = 0, BOOL active = TRUE,
                std::wstring accessPath = L"");
  // An entry whose item ID pointer is null.
  ItemDefs& AddNull(OPCHANDLE client = 0);
  DWORD Count() const { return DWORD(defs_.size()); }
  OPCITEMDEF* Data();

 private:
  struct Texts {
    std::wstring id, path;
    bool nullId;
  };
  std::vector<Texts> texts_;
  std::vector<OPCITEMDEF> defs_;
};

// The codes of a per-item method's error array.
Codes CodesOf(const TaskMem<HRESULT>& errors);

// The arrays of AddItems and ValidateItems.
struct ItemResults {
  TaskMem<OPCITEMRESULT> results;
  TaskMem<HRESULT> errors;
  Codes Errors() const { return CodesOf(errors); }
};

// One item as IEnumOPCItemAttributes describes it.
struct ItemInfo {
  std::wstring itemId;
  bool accessPathNull;
  BOOL active;
  OPCHANDLE client, server;
  DWORD rights;
  VARTYPE requested, canonical;
  DWORD blobSize;
  bool blobNull;
  OPCEUTYPE euType;
  VARTYPE euInfoType;
};
// The items of a group, through a new item enumerator.
std::vector<ItemInfo> ItemsOf(IOPCItemMgt* items);
std::vector<std::wstring> ItemIdsOf(IOPCItemMgt* items);

// Every entry left in an enumerator, with the result of the Next that ended
// the walk.
struct Enumerated {
  std::vector<std::wstring> strings;
  std::vector<ComPtr<IUnknown>> objects;
  HRESULT last = S_OK;
};
Enumerated ReadAll(IEnumString* e);
Enumerated ReadAll(IEnumUnknown* e);

// One entry of IOPCSyncIO::Read, copied out of task memory.
struct ReadState {
  Hr error;
  std::string value;  // as Shown
  WORD quality;
  ULONGLONG time;
};
// IOPCSyncIO::Read of the items, which must succeed.
std::vector<ReadState> SyncRead(IOPCSyncIO* io, OPCDATASOURCE source, std::vector<OPCHANDLE> handles);
std::vector<std::string> ValuesOf(const std::vector<ReadState>& states);
std::vector<WORD> QualitiesOf(const std::vector<ReadState>& states);
std::vector<ULONGLONG> TimesOf(const std::vector<ReadState>& states);

// GetState's name of a group, or "<null>".
std::wstring NameOf(IOPCGroupStateMgt* group);
// GetStatus's group count.
DWORD GroupCount(IOPCServer* server);

// An object with no interface but IUnknown, for connection points to refuse.
class BareUnknown : public ComObject<IUnknown> {};

class ShutdownSink : public ComObject<IOPCShutdown> {
 public:
  STDMETHODIMP ShutdownRequest(LPCWSTR reason) override;

  std::vector<std::optional<std::wstring>> reasons;  // nullopt: a null reason
  std::function<void()> onRequest;                   // runs inside the call
};

class DataCallbackSink : public ComObject<IOPCDataCallback> {
 public:
  STDMETHODIMP OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*, VARIANT*, WORD*, FILETIME*,
                            HRESULT*) override;
  STDMETHODIMP OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*, VARIANT*, WORD*, FILETIME*,
                              HRESULT*) override;
  STDMETHODIMP OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE*, HRESULT*) override;
  STDMETHODIMP OnCancelComplete(DWORD, OPCHANDLE) override;

  int calls = 0;
};

// The host's minimum update rate (CreateServer's scan rate in test_host.cpp).
constexpr DWORD kServerScanRate = 100;

// One test: its own host process with its own class ID, one client connected.
class HostedServer : public ::testing::Test {
 protected:
  // Lines of the host's tag file.
  virtual std::vector<std::string> Tags() const { return {}; }

  void SetUp() override;
  void TearDown() override;

  // A new client connection: a new server object in the host.
  ComPtr<IOPCServer> Connect();
  // The handles the host saw in "server H 0" lines, in order of connection.
  std::vector<std::string> ServerHandles() const;
  // Handle of the fixture's own server object.
  const std::string& Server() const { return serverHandle_; }
  std::vector<std::string> Lines(const std::string& prefix) const { return host_->EventsStartingWith(prefix); }

  // AddGroup that must succeed; an inactive group with rate 1000 by default.
  ComPtr<IOPCGroupStateMgt> AddGroup(IOPCServer* server, const wchar_t* name, OPCHANDLE* handle = nullptr,
                                  DWORD rate = 1000, BOOL active = FALSE, OPCHANDLE client = 0);
  ComPtr<IOPCGroupStateMgt> AddGroup(const wchar_t* name, OPCHANDLE* handle = nullptr) {
    return AddGroup(server_.Get(), name, handle);
  }

  ClassId classId_ = ClassId::New();
  std::unique_ptr<Watchdog> watchdog_;
  std::unique_ptr<HostProcess> host_;
  ComPtr<IOPCServer> server_;
  std::string serverHandle_;
};

}  // namespace e2e
