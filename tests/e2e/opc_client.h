#pragma once
// What the end-to-end client tests share: ownership of COM pointers and of
// the task memory a real client must free, HRESULT assertions that name the
// codes, the client's callback sinks, and a fixture that starts a host with a
// class ID of its own and connects to it through the proxy/stub DLL.
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host_process.h"
#include "opc_common.h"
#include "opc_da.h"
#include "opc_error.h"

namespace e2e {

template <class I>
class Com {
 public:
  Com() = default;
  // Adopts one reference.
  explicit Com(I* p) : p_(p) {}
  Com(const Com& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  Com(Com&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  Com& operator=(Com o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~Com() { reset(); }

  I* get() const { return p_; }
  I* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  I** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  IUnknown** put_unknown() { return reinterpret_cast<IUnknown**>(put()); }
  void reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }
  // The object's interface J, or an empty pointer.
  template <class J>
  Com<J> As() const {
    Com<J> j;
    if (p_) p_->QueryInterface(__uuidof(J), j.put_void());
    return j;
  }

 private:
  I* p_ = nullptr;
};

// COM identity: two pointers name the same object when their IUnknowns match.
template <class A, class B>
bool SameObject(const Com<A>& a, const Com<B>& b) {
  return a && b && a.template As<IUnknown>().get() == b.template As<IUnknown>().get();
}

struct TaskMemFree {
  void operator()(void* p) const { CoTaskMemFree(p); }
};
template <class T>
using TaskMem = std::unique_ptr<T, TaskMemFree>;
using TaskString = TaskMem<wchar_t>;

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

// The arrays of AddItems and ValidateItems, freed like a client must.
struct ItemResults {
  OPCITEMRESULT* results = nullptr;
  HRESULT* errors = nullptr;
  DWORD count = 0;
  ItemResults() = default;
  ItemResults(const ItemResults&) = delete;
  ItemResults& operator=(const ItemResults&) = delete;
  ~ItemResults();
  Codes Errors() const { return errors ? Codes(errors, errors + count) : Codes{}; }
};

// An HRESULT array of a per-item method.
struct Errors {
  HRESULT* errors = nullptr;
  DWORD count = 0;
  Errors() = default;
  Errors(const Errors&) = delete;
  Errors& operator=(const Errors&) = delete;
  ~Errors() { CoTaskMemFree(errors); }
  Codes Get() const { return errors ? Codes(errors, errors + count) : Codes{}; }
};

// An OPCITEMATTRIBUTES array of IEnumOPCItemAttributes::Next.
struct Attributes {
  OPCITEMATTRIBUTES* items = nullptr;
  ULONG count = 0;
  Attributes() = default;
  Attributes(const Attributes&) = delete;
  Attributes& operator=(const Attributes&) = delete;
  ~Attributes();
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
  std::vector<Com<IUnknown>> objects;
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

// Minimal reference counting for the sinks a client hands to the server.
template <class I>
class Sink : public I {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == __uuidof(I)) {
      *ppv = static_cast<I*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return n;
  }

 protected:
  virtual ~Sink() = default;

 private:
  LONG refs_ = 1;
};

// An object with no interface but IUnknown, for connection points to refuse.
class BareUnknown : public Sink<IUnknown> {
 public:
  static Com<BareUnknown> Make() { return Com<BareUnknown>(new BareUnknown); }
};

class ShutdownSink : public Sink<IOPCShutdown> {
 public:
  static Com<ShutdownSink> Make() { return Com<ShutdownSink>(new ShutdownSink); }
  STDMETHODIMP ShutdownRequest(LPCWSTR reason) override;

  std::vector<std::optional<std::wstring>> reasons;  // nullopt: a null reason
  std::function<void()> onRequest;                   // runs inside the call
};

class DataCallbackSink : public Sink<IOPCDataCallback> {
 public:
  static Com<DataCallbackSink> Make() { return Com<DataCallbackSink>(new DataCallbackSink); }
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
  Com<IOPCServer> Connect();
  // The handles the host saw in "server H 0" lines, in order of connection.
  std::vector<std::string> ServerHandles() const;
  // Handle of the fixture's own server object.
  const std::string& Server() const { return serverHandle_; }
  std::vector<std::string> Lines(const std::string& prefix) const { return host_->EventsStartingWith(prefix); }

  // AddGroup that must succeed; an inactive group with rate 1000 by default.
  Com<IOPCGroupStateMgt> AddGroup(IOPCServer* server, const wchar_t* name, OPCHANDLE* handle = nullptr,
                                  DWORD rate = 1000, BOOL active = FALSE, OPCHANDLE client = 0);
  Com<IOPCGroupStateMgt> AddGroup(const wchar_t* name, OPCHANDLE* handle = nullptr) {
    return AddGroup(server_.get(), name, handle);
  }

  ClassId classId_ = ClassId::New();
  std::unique_ptr<Watchdog> watchdog_;
  std::unique_ptr<HostProcess> host_;
  Com<IOPCServer> server_;
  std::string serverHandle_;
};

}  // namespace e2e
