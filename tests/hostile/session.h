#pragma once
// One seeded run against one host: what the client holds of the server
// object and its groups, and the checks every call goes through.
#include <cstdint>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "opc_client.h"
#include "random_args.h"
#include "sinks.h"

namespace hostile {

using quillon::ComPtr;
using quillon::TaskMem;
using quillon::TaskPtr;
using quillon::TaskString;

// The interface an out-parameter typed IUnknown** holds when the call was
// asked for I's IID: the reference itself, not one a QueryInterface would add.
template <class I>
ComPtr<I> Typed(ComPtr<IUnknown>& unk) {
  return ComPtr<I>::Attach(static_cast<I*>(static_cast<void*>(unk.Detach())));
}

// What a call's out-pointer filled, raw or in its owner.
template <class T>
const void* Filled(const ComPtr<T>& p) {
  return p.Get();
}
template <class T>
const void* Filled(const TaskMem<T>& p) {
  return p.Get();
}
template <class T>
const void* Filled(const TaskPtr<T>& p) {
  return p.Get();
}

// What a run found, over every seed.
struct Tally {
  unsigned long long calls = 0;
  unsigned long crashes = 0, wrong = 0, logged = 0;  // a hang ends the run (watchdog.h)
  unsigned long long byDesign = 0;  // answers the toolkit gives on purpose, off the published contract
  unsigned long notes = 0;
  // Failure lines printed per kind of failure, so that one fault met a
  // thousand times does not bury the others.
  std::map<std::string, unsigned long> printed;
};

struct ServerObject {
  ComPtr<IOPCServer> server;
  ComPtr<IOPCCommon> common;
  ComPtr<IOPCBrowseServerAddressSpace> space;
  ComPtr<IOPCItemProperties> properties;
  ComPtr<IOPCBrowse> browse;
  ComPtr<IOPCItemIO> itemIo;
  ComPtr<IConnectionPointContainer> container;
  ComPtr<IConnectionPoint> point;
  ComPtr<IOPCServerPublicGroups> publicGroups;
  ComPtr<IPersistFile> persist;
  ComPtr<IEnumString> strings;
  ComPtr<IEnumUnknown> groupObjects;
  std::vector<DWORD> cookies;
  bool Empty() const {
    return !server && !common && !space && !properties && !browse && !itemIo && !container && !point &&
           !publicGroups && !persist && !strings && !groupObjects;
  }
};

struct Group {
  DWORD handle = 0;
  std::wstring name;
  bool removed = false, forced = false;
  ComPtr<IOPCGroupStateMgt> state;
  ComPtr<IOPCGroupStateMgt2> state2;
  ComPtr<IOPCItemMgt> items;
  ComPtr<IOPCSyncIO> sync;
  ComPtr<IOPCSyncIO2> sync2;
  ComPtr<IOPCAsyncIO> async;
  ComPtr<IOPCAsyncIO2> async2;
  ComPtr<IOPCAsyncIO3> async3;
  ComPtr<IOPCItemDeadbandMgt> deadband;
  ComPtr<IOPCItemSamplingMgt> sampling;
  ComPtr<IConnectionPointContainer> container;
  ComPtr<IConnectionPoint> point;
  ComPtr<IDataObject> data;
  ComPtr<IEnumOPCItemAttributes> itemEnum;
  std::vector<DWORD> itemHandles, removedItems, cookies, streamCookies, transactions;
  bool Empty() const {
    return !state && !state2 && !items && !sync && !sync2 && !async && !async2 && !async3 && !deadband && !sampling &&
           !container && !point && !data && !itemEnum;
  }
  // Stores Unk, an interface of the group returned for Riid, in its slot;
  // false (and released) when the group has no slot for Riid.
  bool Adopt(REFIID riid, ComPtr<IUnknown> unk);
};

class Session;

// One call: its number, method and arguments (the failure line), the
// watchdog's clock, and the checks on its answer.
class Call {
 public:
  Call(Session& s, const char* method, bool disconnected = false);
  template <class T>
  Call& Arg(const char* name, const T& value) {
    args_ << (first_ ? "" : ", ") << name << '=' << value;
    first_ = false;
    return *this;
  }
  Call& ArgHex(const char* name, uint32_t value) { return Arg(name, Hex(value)); }
  // The call carries an argument the proxy rejects before sending.
  Call& Refused(bool refused = true) {
    refused_ = refused_ || refused;
    return *this;
  }

  // Makes the call: F returns its HRESULT; Outs own what the out-pointers
  // filled, which must be nothing when it fails.
  template <class F, class... O>
  HRESULT Run(F&& f, const O&... outs) {
    Begin();
    const HRESULT hr = f();
    End(hr, {Filled(outs)...});
    return hr;
  }
  // Per-item results: S_OK means every item succeeded, S_FALSE that one
  // failed at least; a successful call with items returns its array.
  void Items(HRESULT hr, const HRESULT* errors, DWORD count);
  // A successful call must hand out what it promised.
  void Expect(bool holds, const char* what);
  std::string Line() const;

 private:
  void Begin();
  void End(HRESULT hr, std::initializer_list<const void*> outs);
  void Fail(const std::string& kind, const std::string& detail);

  Session& s_;
  const char* method_;
  bool disconnected_, refused_ = false, first_ = true;
  unsigned long number_;
  HRESULT last_ = S_OK;
  std::ostringstream args_;
};

class Session {
 public:
  Session(uint32_t seed, unsigned long calls, e2e::HostProcess& host, const CLSID& clsid, Tally& tally);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  ~Session();
  // Runs the calls; false when the host ended under them.
  bool Run();

  // Interfaces of the server object, asked for again when released.
  template <class I>
  I* Need(ComPtr<I>& slot) {
    if (!slot) Query(slot, __uuidof(I));
    return slot.Get();
  }
  template <class I>
  I* Need(Group& g, ComPtr<I>& slot) {
    if (!slot) QueryGroup(g, slot, __uuidof(I));
    return slot.Get();
  }
  bool Connect();

  Hostile rnd;
  Tally& tally;
  const uint32_t seed;
  unsigned long number = 0;  // of the call under way
  bool hostGone = false;
  ServerObject so;
  std::vector<std::unique_ptr<Group>> groups;
  std::vector<DWORD> liveGroups, staleGroups;
  std::vector<std::wstring> groupNames;
  ComPtr<e2e::DataCallbackSink> dataSink = quillon::MakeCom<e2e::DataCallbackSink>();
  ComPtr<ShutdownCounter> shutdownSink = quillon::MakeCom<ShutdownCounter>();
  ComPtr<StreamCounter> streamSink = quillon::MakeCom<StreamCounter>();
  ComPtr<e2e::BareUnknown> bare = quillon::MakeCom<e2e::BareUnknown>();
  CLIPFORMAT formats[3];
  e2e::HostProcess& host;

 private:
  template <class I>
  void Query(ComPtr<I>& slot, REFIID riid);
  template <class I>
  void QueryGroup(Group& g, ComPtr<I>& slot, REFIID riid);
  IUnknown* AnyServerInterface() const;
  void Step();
  void Release();

  const unsigned long calls_;
  const CLSID clsid_;
};

// The known item IDs of the host's tag file (tests/hostile/runner.cpp).
const std::vector<std::wstring>& KnownIds();
const std::vector<std::string>& TagLines();

// One random call on one of the server object's interfaces.
void CallServerObject(Session& s);
// One random call on one of Group's interfaces.
void CallGroup(Session& s, Group& g);

}  // namespace hostile
