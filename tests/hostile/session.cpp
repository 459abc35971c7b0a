#include "session.h"

#include <cstdio>

#include "documented_codes.h"
#include "watchdog.h"

namespace hostile {

namespace {

constexpr unsigned long kLinesPerKind = 5;

template <class I>
bool Take(REFIID riid, ComPtr<IUnknown>& unk, ComPtr<I>& slot) {
  if (riid != __uuidof(I)) return false;
  slot = Typed<I>(unk);
  return true;
}

}  // namespace

bool Group::Adopt(REFIID riid, ComPtr<IUnknown> unk) {
  return Take(riid, unk, state) || Take(riid, unk, state2) || Take(riid, unk, items) || Take(riid, unk, sync) ||
         Take(riid, unk, sync2) || Take(riid, unk, async) || Take(riid, unk, async2) || Take(riid, unk, async3) ||
         Take(riid, unk, deadband) || Take(riid, unk, sampling) || Take(riid, unk, container) || Take(riid, unk, data);
}

Call::Call(Session& s, const char* method, bool disconnected)
    : s_(s), method_(method), disconnected_(disconnected), number_(++s.number) {
  if (!Known(method)) Fail("table", "no documented codes for this method");
}

std::string Call::Line() const {
  return "seed=" + std::to_string(s_.seed) + " call=" + std::to_string(number_) + " " + method_ + "(" +
         args_.str() + ")";
}

void Call::Begin() {
  e2e::PumpUntil([] { return true; }, 0);
  CallStarted(Line());
}

void Call::End(HRESULT hr, std::initializer_list<const void*> outs) {
  CallEnded();
  last_ = hr;
  ++s_.tally.calls;
  if (!s_.host.Running()) {
    s_.hostGone = true;
    ++s_.tally.crashes;
    std::printf("hostile: CRASH %s -> %s: the server process ended, exit code 0x%lX; replay: --seed %u --calls %lu\n",
                Line().c_str(), e2e::HrName(hr).c_str(), s_.host.ExitCode(), s_.seed, number_);
    std::fflush(stdout);
    return;
  }
  if (ByDesign(method_, hr)) {
    ++s_.tally.byDesign;
    if (++s_.tally.printed[std::string("note") + method_ + e2e::HrName(hr)] == 1 && s_.tally.notes++ < 20)
      std::printf("hostile: NOTE %s answers %s, which the toolkit gives there on purpose\n", method_,
                  e2e::HrName(hr).c_str());
  } else if (!Documented(method_, hr, refused_, disconnected_)) {
    Fail("undocumented", e2e::HrName(hr) + " is not documented");
  }
  if (FAILED(hr)) {
    int i = 0;
    for (const void* p : outs) {
      if (p) Fail("out", "failed with " + e2e::HrName(hr) + " but out-pointer #" + std::to_string(i) + " is not null");
      ++i;
    }
  }
}

void Call::Items(HRESULT hr, const HRESULT* errors, DWORD count) {
  if (FAILED(hr) || count == 0) return;
  if (!errors) {
    Fail("shape", "succeeded with " + e2e::HrName(hr) + " but no per-item results");
    return;
  }
  DWORD failed = 0;
  for (DWORD i = 0; i < count; ++i) failed += FAILED(errors[i]) ? 1 : 0;
  if (hr == S_OK && failed) Fail("items", "S_OK with " + std::to_string(failed) + " failed items");
  if (hr == S_FALSE && !failed) Fail("items", "S_FALSE with no failed item");
}

void Call::Expect(bool holds, const char* what) {
  if (!holds) Fail("shape", std::string(what) + " (" + e2e::HrName(last_) + ")");
}

void Call::Fail(const std::string& kind, const std::string& detail) {
  ++s_.tally.wrong;
  if (++s_.tally.printed[kind + method_] > kLinesPerKind) return;
  std::printf("hostile: FAIL %s: %s; replay: --seed %u --calls %lu\n", Line().c_str(), detail.c_str(), s_.seed,
              number_);
  std::fflush(stdout);
}

Session::Session(uint32_t seed, unsigned long calls, e2e::HostProcess& host, const CLSID& clsid, Tally& tally)
    : rnd(seed), tally(tally), seed(seed), host(host), calls_(calls), clsid_(clsid) {
  formats[0] = CLIPFORMAT(RegisterClipboardFormatW(L"OPCSTMFORMATDATA"));
  formats[1] = CLIPFORMAT(RegisterClipboardFormatW(L"OPCSTMFORMATDATATIME"));
  formats[2] = CLIPFORMAT(RegisterClipboardFormatW(L"OPCSTMFORMATWRITECOMPLETE"));
}

Session::~Session() {
  // Interfaces go in the order the seed chose, groups before the server.
  while (!groups.empty()) {
    groups.erase(groups.begin() + rnd.Below(uint32_t(groups.size())));
  }
}

bool Session::Connect() {
  Call c(*this, "IUnknown::QueryInterface");
  c.Arg("connect", "IOPCServer");
  c.Run([&] { return CoCreateInstance(clsid_, nullptr, CLSCTX_LOCAL_SERVER, __uuidof(IOPCServer),
                                      so.server.PutVoid()); },
        so.server);
  return bool(so.server);
}

IUnknown* Session::AnyServerInterface() const {
  for (IUnknown* u : std::initializer_list<IUnknown*>{so.server.Get(), so.common.Get(), so.space.Get(),
                                                      so.properties.Get(), so.browse.Get(), so.itemIo.Get(),
                                                      so.container.Get(), so.publicGroups.Get(), so.persist.Get()})
    if (u) return u;
  return nullptr;
}

template <class I>
void Session::Query(ComPtr<I>& slot, REFIID riid) {
  IUnknown* from = AnyServerInterface();
  if (!from) return;
  Call c(*this, "IUnknown::QueryInterface");
  c.Arg("server object", "interface");
  c.Run([&] { return from->QueryInterface(riid, slot.PutVoid()); }, slot);
}

template <class I>
void Session::QueryGroup(Group& g, ComPtr<I>& slot, REFIID riid) {
  IUnknown* from = nullptr;
  for (IUnknown* u : std::initializer_list<IUnknown*>{
           g.state.Get(), g.state2.Get(), g.items.Get(), g.sync.Get(), g.sync2.Get(), g.async.Get(), g.async2.Get(),
           g.async3.Get(), g.deadband.Get(), g.sampling.Get(), g.container.Get(), g.data.Get()})
    if (u) from = u;
  if (!from) return;
  Call c(*this, "IUnknown::QueryInterface", g.forced);
  c.Arg("group", g.handle);
  c.Run([&] { return from->QueryInterface(riid, slot.PutVoid()); }, slot);
}

// Explicit instantiations for the call tables, which ask for every
// interface through Need.
#define HOSTILE_QUERY(I)                                   \
  template void Session::Query<I>(ComPtr<I>&, REFIID);        \
  template void Session::QueryGroup<I>(Group&, ComPtr<I>&, REFIID);
HOSTILE_QUERY(IOPCServer)
HOSTILE_QUERY(IOPCCommon)
HOSTILE_QUERY(IOPCBrowseServerAddressSpace)
HOSTILE_QUERY(IOPCItemProperties)
HOSTILE_QUERY(IOPCBrowse)
HOSTILE_QUERY(IOPCItemIO)
HOSTILE_QUERY(IConnectionPointContainer)
HOSTILE_QUERY(IOPCServerPublicGroups)
HOSTILE_QUERY(IPersistFile)
HOSTILE_QUERY(IOPCGroupStateMgt)
HOSTILE_QUERY(IOPCGroupStateMgt2)
HOSTILE_QUERY(IOPCItemMgt)
HOSTILE_QUERY(IOPCSyncIO)
HOSTILE_QUERY(IOPCSyncIO2)
HOSTILE_QUERY(IOPCAsyncIO)
HOSTILE_QUERY(IOPCAsyncIO2)
HOSTILE_QUERY(IOPCAsyncIO3)
HOSTILE_QUERY(IOPCItemDeadbandMgt)
HOSTILE_QUERY(IOPCItemSamplingMgt)
HOSTILE_QUERY(IDataObject)
#undef HOSTILE_QUERY

namespace {

// Resets the Which-th of Slots.
template <class... I>
void DropOne(uint32_t which, ComPtr<I>&... slots) {
  uint32_t i = 0;
  ((i++ == which ? slots.Reset() : void()), ...);
}

}  // namespace

void Session::Release() {
  if (!groups.empty() && rnd.Chance(60)) {
    const uint32_t at = rnd.Below(uint32_t(groups.size()));
    Group& g = *groups[at];
    DropOne(rnd.Below(14), g.state, g.state2, g.items, g.sync, g.sync2, g.async, g.async2, g.async3, g.deadband,
            g.sampling, g.container, g.point, g.data, g.itemEnum);
    if (g.Empty()) groups.erase(groups.begin() + at);
    return;
  }
  if (rnd.Chance(3)) {
    so = ServerObject{};
    return;
  }
  DropOne(rnd.Below(12), so.server, so.common, so.space, so.properties, so.browse, so.itemIo, so.container, so.point,
          so.publicGroups, so.persist, so.strings, so.groupObjects);
}

void Session::Step() {
  if (so.Empty() || !AnyServerInterface()) {
    so = ServerObject{};
    if (!Connect()) return;
  }
  const uint32_t r = rnd.Below(100);
  if (r < 5) {
    Release();
  } else if (r < 45 || groups.empty()) {
    CallServerObject(*this);
  } else {
    CallGroup(*this, *groups[rnd.Below(uint32_t(groups.size()))]);
  }
}

bool Session::Run() {
  while (number < calls_ && !hostGone) Step();
  return !hostGone;
}

}  // namespace hostile
