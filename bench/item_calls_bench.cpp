// The per-item calls of a group and its synchronous IO, through real
// out-of-process COM against com_bench_host.exe, and the delay from one
// client's write to another client's data change. Prints, with every ratio
// taken within this one run:
//   6. SetActiveState, SetClientHandles, SetDatatypes, the item deadband
//      calls and RemoveItems (in order, in reverse, shuffled) of 10,000 and
//      100,000 items, each against AddItems of the same items;
//   7. a cache Read and a Write of 1,000, 10,000 and 100,000 items against
//      the reference object served from the same host apartment;
//   8. a client's Write of L.Stamp to another process's OnDataChange, at
//      10 ms and 100 ms groups, beside a bare call to the host.
//   item_calls_bench.exe                  the whole run
//   item_calls_bench.exe --subscribe ...  the other process of figure 8
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "apartment.h"
#include "com_bench_client.h"

namespace {

using namespace bench;

constexpr DWORD kWatchdogMs = 400'000;
constexpr double kCallTarget = 1.5;  // a per-item call against AddItems of the same items
constexpr double kIoTarget = 1.1;    // sync IO against the reference
constexpr int kIoRepeats = 9;
constexpr LONG kWriteSpacingMs = 13;  // between the writes of figure 8: every phase of a 10 ms timer

// What the subscriber of figure 8 hands back.
struct LatencyBlock {
  LONG samples;
  double p50, p99, min, max;  // ms
};

template <class F>
double Timed(F f) {
  const LONGLONG a = Counter();
  f();
  return Seconds(Counter() - a);
}

const char* Verdict(double ratio, double target) { return ratio <= target ? "met" : "MISSED"; }

// The medians of the calls of one kind, for one group size.
struct CallFigures {
  std::vector<double> add, inactive, active, clientHandles, datatypes, setDeadband, getDeadband, clearDeadband;
  std::vector<double> remove[3];  // in order of addition, in reverse, shuffled
};
constexpr const char* kOrders[] = {"in order of addition", "in reverse", "shuffled"};

// Checks that every item of a per-item call succeeded; the codes are freed.
void CheckEach(TaskMem<HRESULT>& errors, DWORD n, const char* what) {
  errors.SetCount(n);
  for (DWORD i = 0; i < n; ++i) Check(errors[i], what);
}

// One group of N items through every per-item call, ending with RemoveItems
// in the given order.
void CallRound(IOPCServer* server, ItemDefs& defs, int order, std::mt19937& random, CallFigures& f) {
  Group g(server, L"calls", false, 1000);
  IOPCItemMgt* items = g.Items();
  const DWORD n = DWORD(defs.Size());
  std::vector<OPCITEMDEF> slice = defs.Slice(0, n);
  std::vector<OPCHANDLE> handles(n);
  {
    TaskMem<OPCITEMRESULT> results;
    TaskMem<HRESULT> errors;
    f.add.push_back(Timed([&] { Check(items->AddItems(n, slice.data(), results.Put(n), errors.Put(n)), "AddItems"); }));
    for (DWORD i = 0; i < n; ++i) {
      Check(errors[i], "AddItems (an item)");
      handles[i] = results[i].hServer;
    }
  }
  auto perItem = [&](std::vector<double>& into, const char* what, const std::function<HRESULT(HRESULT**)>& call) {
    TaskMem<HRESULT> errors;
    into.push_back(Timed([&] { Check(call(errors.Put()), what); }));
    CheckEach(errors, n, what);
  };
  perItem(f.inactive, "SetActiveState(FALSE)",
          [&](HRESULT** e) { return items->SetActiveState(n, handles.data(), FALSE, e); });
  perItem(f.active, "SetActiveState(TRUE)",
          [&](HRESULT** e) { return items->SetActiveState(n, handles.data(), TRUE, e); });
  std::vector<OPCHANDLE> clients(n);
  for (DWORD i = 0; i < n; ++i) clients[i] = i + 7;
  perItem(f.clientHandles, "SetClientHandles",
          [&](HRESULT** e) { return items->SetClientHandles(n, handles.data(), clients.data(), e); });
  std::vector<VARTYPE> types(n, VT_R8);
  perItem(f.datatypes, "SetDatatypes", [&](HRESULT** e) { return items->SetDatatypes(n, handles.data(), types.data(), e); });
  ComPtr<IOPCItemDeadbandMgt> deadbands;
  Check(ComPtr<IOPCItemMgt>(items).As(deadbands), "QueryInterface(IOPCItemDeadbandMgt)");
  std::vector<FLOAT> percents(n, 5.0f);
  perItem(f.setDeadband, "SetItemDeadband",
          [&](HRESULT** e) { return deadbands->SetItemDeadband(n, handles.data(), percents.data(), e); });
  TaskMem<FLOAT> got;
  perItem(f.getDeadband, "GetItemDeadband",
          [&](HRESULT** e) { return deadbands->GetItemDeadband(n, handles.data(), got.Put(n), e); });
  perItem(f.clearDeadband, "ClearItemDeadband",
          [&](HRESULT** e) { return deadbands->ClearItemDeadband(n, handles.data(), e); });
  if (order == 1) std::reverse(handles.begin(), handles.end());
  if (order == 2) std::shuffle(handles.begin(), handles.end(), random);
  perItem(f.remove[order], "RemoveItems", [&](HRESULT** e) { return items->RemoveItems(n, handles.data(), e); });
}

void PrintCall(const char* what, const std::vector<double>& times, double add) {
  const double t = Median(times), ratio = t / add;
  std::printf("   %-34s %9.2f ms  ratio %5.2f (target <= %.1f: %s)\n", what, t * 1e3, ratio, kCallTarget,
              Verdict(ratio, kCallTarget));
}

// Answers the median RemoveItems time per order.
std::vector<double> CallFigure(IOPCServer* server, Branch branch, int rounds) {
  ItemDefs defs = ItemDefs::OfBranch(branch);
  CallFigures f;
  std::mt19937 random(12345);
  for (int round = 0; round < rounds; ++round) CallRound(server, defs, round % 3, random, f);
  const double add = Median(f.add);
  std::printf("6. Per-item calls on a group of %ld items, against AddItems of the same items (median of %d, of %d for "
              "each order of RemoveItems)\n",
              long(kBranchSize[branch]), rounds, rounds / 3);
  std::printf("   %-34s %9.2f ms\n", "AddItems (the baseline)", add * 1e3);
  PrintCall("SetActiveState(FALSE)", f.inactive, add);
  PrintCall("SetActiveState(TRUE)", f.active, add);
  PrintCall("SetClientHandles", f.clientHandles, add);
  PrintCall("SetDatatypes", f.datatypes, add);
  PrintCall("SetItemDeadband", f.setDeadband, add);
  PrintCall("GetItemDeadband", f.getDeadband, add);
  PrintCall("ClearItemDeadband", f.clearDeadband, add);
  std::vector<double> removes;
  for (int order = 0; order < 3; ++order) {
    PrintCall((std::string("RemoveItems, ") + kOrders[order]).c_str(), f.remove[order], add);
    removes.push_back(Median(f.remove[order]));
  }
  return removes;
}

// A cache Read and a Write of the first N items of branch C, against the reference.
void IoFigure(IOPCServer* server, IOPCItemMgt* baseline, LONG n) {
  ItemDefs defs;
  for (LONG i = 0; i < n; ++i) defs.Add(ItemId(kLarge, i), OPCHANDLE(i));
  Group g(server, L"io", true, 1000);
  std::vector<OPCHANDLE> handles = g.Add(defs, defs.Size());
  ComPtr<IOPCSyncIO> ours, reference;
  Check(ComPtr<IOPCItemMgt>(g.Items()).As(ours), "QueryInterface(IOPCSyncIO)");
  Check(ComPtr<IOPCItemMgt>(baseline).As(reference), "QueryInterface(IOPCSyncIO) of the reference");
  std::vector<VARIANT> values(static_cast<size_t>(n));
  for (LONG i = 0; i < n; ++i) {
    V_VT(&values[size_t(i)]) = VT_R8;
    V_R8(&values[size_t(i)]) = i * 0.25;
  }
  auto read = [&](IOPCSyncIO* io) {
    TaskMem<OPCITEMSTATE> states;
    TaskMem<HRESULT> errors;
    double t = Timed([&] { Check(io->Read(OPC_DS_CACHE, DWORD(n), handles.data(), states.Put(n), errors.Put(n)), "Read"); });
    for (LONG i = 0; i < n; ++i)
      if (errors[i] != S_OK || V_VT(&states[i].vDataValue) != VT_R8) Fail("Read returned an item that is not a good VT_R8");
    return t;
  };
  auto write = [&](IOPCSyncIO* io) {
    TaskMem<HRESULT> errors;
    double t = Timed([&] { Check(io->Write(DWORD(n), handles.data(), values.data(), errors.Put(n)), "Write"); });
    for (LONG i = 0; i < n; ++i) Check(errors[i], "Write (an item)");
    return t;
  };
  std::vector<double> r[2], w[2];
  // Alternating, so that drift in the machine's speed touches both alike.
  for (int rep = 0; rep <= kIoRepeats; ++rep) {
    double rq = read(ours.Get()), rr = read(reference.Get());
    double wq = write(ours.Get()), wr = write(reference.Get());
    if (rep == 0) continue;
    r[0].push_back(rq);
    r[1].push_back(rr);
    w[0].push_back(wq);
    w[1].push_back(wr);
  }
  for (int k = 0; k < 2; ++k) {
    const auto& q = k == 0 ? r[0] : w[0];
    const auto& ref = k == 0 ? r[1] : w[1];
    const double ratio = Median(q) / Median(ref);
    std::printf("   %-6s %7ld items: Quillon %8.2f ms, reference %8.2f ms: ratio %.2f (target <= %.1f: %s; fastest "
                "calls %.2f)\n",
                k == 0 ? "Read" : "Write", long(n), Median(q) * 1e3, Median(ref) * 1e3, ratio, kIoTarget,
                Verdict(ratio, kIoTarget), Fastest(q) / Fastest(ref));
  }
}

std::string GuidText(const GUID& g) {
  wchar_t text[40];
  StringFromGUID2(g, text, 40);
  return std::string(text, text + 38);
}

// The other process of figure 8: subscribes to L.Stamp at Rate, tells the
// parent when the first update is in, and on the stop event hands back the
// delays of the values that arrived.
int Subscribe(const std::string& classText, DWORD rate, DWORD parent) {
  std::wstring wide(classText.begin(), classText.end());
  CLSID clsid;
  if (FAILED(CLSIDFromString(wide.c_str(), &clsid))) return 2;
  UniqueHandle mapping(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, ObjectName(parent, "latency").c_str()));
  UniqueHandle ready(OpenEventA(EVENT_MODIFY_STATE, FALSE, ObjectName(parent, "subscribed").c_str()));
  UniqueHandle stop(OpenEventA(SYNCHRONIZE, FALSE, ObjectName(parent, "stop").c_str()));
  if (!mapping || !ready || !stop) return 2;
  auto* block = static_cast<LatencyBlock*>(MapViewOfFile(mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(LatencyBlock)));
  if (!block) return 2;
  ComPtr<IOPCServer> server;
  Check(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer, server.PutVoid()), "CoCreateInstance");
  ComPtr<DataSink> sink = quillon::MakeCom<DataSink>();
  {
    Group g(server.Get(), L"subscriber", true, rate);
    ItemDefs defs;
    defs.Add(kStampItemId, kStampHandle);
    g.Add(defs, 1);
    g.Advise(sink.Get());
    auto pump = [&](HANDLE until, DWORD ms, const std::function<bool()>& done) {
      const ULONGLONG end = GetTickCount64() + ms;
      for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        if (done()) return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return false;
        DWORD r = MsgWaitForMultipleObjectsEx(until ? 1 : 0, &until, DWORD(end - now), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (until && r == WAIT_OBJECT_0) return true;
      }
    };
    if (!pump(nullptr, kCommandMs, [&] { return sink->callbacks > 0; })) return 3;
    sink->Reset();
    SetEvent(ready.Get());
    pump(stop.Get(), kWatchdogMs, [] { return false; });
    std::vector<double> d = sink->delays;
    std::sort(d.begin(), d.end());
    block->samples = LONG(d.size());
    if (!d.empty()) {
      block->p50 = Percentile(d, 0.5) * 1e3;
      block->p99 = Percentile(d, 0.99) * 1e3;
      block->min = d.front() * 1e3;
      block->max = d.back() * 1e3;
    }
  }
  UnmapViewOfFile(block);
  return 0;
}

// One client's Write of L.Stamp (the moment of the write, as its value) to
// the OnDataChange of a subscriber in another process, at a group of Rate ms.
void WriteLatency(Host& host, IOPCServer* server, DWORD rate, LONG samples) {
  const DWORD pid = GetCurrentProcessId();
  UniqueHandle mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(LatencyBlock),
                                          ObjectName(pid, "latency").c_str()));
  UniqueHandle ready(CreateEventA(nullptr, TRUE, FALSE, ObjectName(pid, "subscribed").c_str()));
  UniqueHandle stop(CreateEventA(nullptr, TRUE, FALSE, ObjectName(pid, "stop").c_str()));
  if (!mapping || !ready || !stop) Fail("cannot create the subscriber's block and events");
  char path[MAX_PATH];
  DWORD len = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string cmd = "\"" + std::string(path, len) + "\" --subscribe " + GuidText(host.ServerClass()) + " " +
                    std::to_string(rate) + " " + std::to_string(pid);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    Fail("cannot start the subscriber");
  UniqueHandle subscriber(pi.hProcess);
  CloseHandle(pi.hThread);
  HANDLE both[2] = {ready.Get(), subscriber.Get()};
  if (WaitForMultipleObjects(2, both, FALSE, kCommandMs) != WAIT_OBJECT_0) {
    TerminateProcess(subscriber.Get(), 9);
    Fail("the subscriber did not subscribe");
  }
  Group g(server, L"writer", true, 1000);
  ItemDefs defs;
  defs.Add(kStampItemId, 1);
  std::vector<OPCHANDLE> handle = g.Add(defs, 1);
  ComPtr<IOPCSyncIO> io;
  Check(ComPtr<IOPCItemMgt>(g.Items()).As(io), "QueryInterface(IOPCSyncIO)");
  // Spaced so that every write has a tick of its own.
  const DWORD spacing = rate <= 10 ? kWriteSpacingMs : rate + 31;
  for (LONG i = 0; i < samples; ++i) {
    VARIANT v;
    V_VT(&v) = VT_R8;
    V_R8(&v) = double(Counter());
    TaskMem<HRESULT> errors;
    Check(io->Write(1, handle.data(), &v, errors.Put(1)), "Write(L.Stamp)");
    Check(errors[0], "Write(L.Stamp) (the item)");
    host.PumpFor(spacing);
  }
  host.PumpFor(rate + 200);
  SetEvent(stop.Get());
  if (WaitForSingleObject(subscriber.Get(), kCommandMs) != WAIT_OBJECT_0) {
    TerminateProcess(subscriber.Get(), 9);
    Fail("the subscriber did not end");
  }
  auto* block = static_cast<LatencyBlock*>(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, sizeof(LatencyBlock)));
  if (!block) Fail("cannot map the subscriber's block");
  const LatencyBlock b = *block;
  UnmapViewOfFile(block);
  if (b.samples < samples * 9 / 10) Fail("the subscriber saw too few of the writes");
  std::printf("   %3lu ms group: p50 %6.2f ms, p99 %6.2f ms (min %.2f, max %.2f; %ld of %ld writes, one every %lu ms)\n",
              static_cast<unsigned long>(rate), b.p50, b.p99, b.min, b.max, long(b.samples), long(samples),
              static_cast<unsigned long>(spacing));
}

// The bare cost of a call to the host and back: a one-item Read of the reference.
double BareCall(IOPCItemMgt* baseline) {
  ComPtr<IOPCSyncIO> io;
  Check(ComPtr<IOPCItemMgt>(baseline).As(io), "QueryInterface(IOPCSyncIO) of the reference");
  OPCHANDLE h = 1;
  std::vector<double> t;
  for (int i = 0; i < 101; ++i) {
    TaskMem<OPCITEMSTATE> states;
    TaskMem<HRESULT> errors;
    t.push_back(Timed([&] { Check(io->Read(OPC_DS_CACHE, 1, &h, states.Put(1), errors.Put(1)), "Read"); }));
  }
  return Median(t);
}

void Run() {
  Session session;
  Host& host = session.host;
  ComPtr<IOPCServer>& server = session.server;
  ComPtr<IOPCItemMgt>& baseline = session.baseline;

  std::vector<double> small = CallFigure(server.Get(), kSmall, 9);
  std::vector<double> large = CallFigure(server.Get(), kLarge, 3);
  std::printf("   RemoveItems, 100,000 / 10,000 items (10 when linear):");
  for (int order = 0; order < 3; ++order) std::printf(" %s %.1f;", kOrders[order], large[size_t(order)] / small[size_t(order)]);
  std::printf("\n");

  std::printf("7. Sync IO of an active group against the reference (median of %d)\n", kIoRepeats);
  for (LONG n : {1'000L, 10'000L, 100'000L}) IoFigure(server.Get(), baseline.Get(), n);

  std::printf("8. A client's Write to another process's OnDataChange, through the server (a bare call to the host: "
              "%.2f ms)\n",
              BareCall(baseline.Get()) * 1e3);
  WriteLatency(host, server.Get(), 10, 300);
  WriteLatency(host, server.Get(), 100, 60);
}

DWORD WINAPI Watchdog(void*) {
  Sleep(kWatchdogMs);
  std::fputs("item_calls_bench: watchdog: the run did not finish in time\n", stderr);
  if (HANDLE h = watchedHost) TerminateProcess(h, 9);
  ExitProcess(3);
}

}  // namespace

int main(int argc, char** argv) {
  CloseHandle(CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));
  setvbuf(stdout, nullptr, _IONBF, 0);
  quillon::Apartment apartment(COINIT_APARTMENTTHREADED);
  try {
    if (argc == 5 && std::string(argv[1]) == "--subscribe")
      return Subscribe(argv[2], DWORD(std::strtoul(argv[3], nullptr, 10)), DWORD(std::strtoul(argv[4], nullptr, 10)));
    Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "item_calls_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
