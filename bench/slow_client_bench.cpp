// What a client that blocks in its callbacks does to another client, through
// out-of-process COM against the end-to-end host (e2e_host.exe):
//   slow_client_bench.exe [SLEEP_MS [SAMPLES]]   (defaults 1,000 and 40)
// The measuring client subscribes to S.T001 in a group of rate 100 ms, then,
// SAMPLES times, writes a new value to it with IOPCSyncIO::Write and waits
// for its OnDataChange: the write-to-callback latency; it also times a
// sync cache read of the item. First alone (the baseline), then with an
// e2e_subscriber.exe that sleeps SLEEP_MS in every OnDataChange of S.T000,
// which the host changes every 50 ms; last with the host's message filter
// that dispatches its timers while a call waits, as Windows' modal loop does
// (Wine's does not). Prints p50, p95 and max of each.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "apartment.h"
#include "opc_client.h"
#include "process_figures.h"

namespace {

using namespace e2e;
using Clock = std::chrono::steady_clock;

class ValueSink : public ComObject<IOPCDataCallback> {
 public:
  STDMETHODIMP OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD count, OPCHANDLE*, VARIANT* values, WORD*,
                            FILETIME*, HRESULT*) override {
    for (DWORD i = 0; i < count; ++i)
      if (V_VT(&values[i]) == VT_R8) last = V_R8(&values[i]);
    return S_OK;
  }
  STDMETHODIMP OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*, VARIANT*, WORD*, FILETIME*,
                              HRESULT*) override {
    return S_OK;
  }
  STDMETHODIMP OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE*, HRESULT*) override { return S_OK; }
  STDMETHODIMP OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }
  double last = -1;
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void PrintSpread(const char* phase, const char* what, std::vector<double> ms) {
  if (ms.empty()) {
    std::printf("%-10s %-26s no samples\n", phase, what);
    return;
  }
  std::sort(ms.begin(), ms.end());
  auto at = [&](double q) { return ms[std::min(ms.size() - 1, size_t(q * double(ms.size())))]; };
  std::printf("%-10s %-26s p50 %8.1f ms  p95 %8.1f ms  max %8.1f ms  (%zu samples)\n", phase, what, at(0.5), at(0.95),
              ms.back(), ms.size());
  std::fflush(stdout);
}

// Runs the measuring client's samples; false if it could not connect.
bool Measure(const CLSID& clsid, const char* phase, int samples, double firstValue) {
  ComPtr<IOPCServer> server;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, __uuidof(IOPCServer), server.PutVoid())))
    return false;
  OPCHANDLE groupHandle = 0;
  DWORD revised = 0;
  ComPtr<IOPCItemMgt> items;
  if (FAILED(server->AddGroup(L"Probe", TRUE, 100, 1, nullptr, nullptr, 0, &groupHandle, &revised,
                              __uuidof(IOPCItemMgt), items.PutUnknown())))
    return false;
  ItemDefs defs;
  defs.Add(L"S.T001", VT_R8, 1);
  ItemResults added;
  if (FAILED(items->AddItems(1, defs.Data(), added.results.Put(1), added.errors.Put(1))) || FAILED(added.errors[0]))
    return false;
  OPCHANDLE handle = added.results[0].hServer;
  ComPtr<ValueSink> sink = MakeCom<ValueSink>();
  ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
  if (FAILED(items.Query<IConnectionPointContainer>()->FindConnectionPoint(IID_IOPCDataCallback, point.Put())) ||
      FAILED(point->Advise(sink.Get(), &cookie)))
    return false;
  auto sync = items.Query<IOPCSyncIO>();

  std::vector<double> toCallback, reads;
  int lost = 0;
  for (int i = 0; i < samples; ++i) {
    const double value = firstValue + i;
    VARIANT v;
    V_VT(&v) = VT_R8;
    V_R8(&v) = value;
    TaskMem<HRESULT> errors;
    const auto began = Clock::now();
    const HRESULT hr = sync->Write(1, &handle, &v, errors.Put(1));
    if (FAILED(hr)) return false;
    if (PumpUntil([&] { return sink->last == value; }, 10000))
      toCallback.push_back(Ms(Clock::now() - began));
    else
      ++lost;

    TaskMem<OPCITEMSTATE> states;
    const auto readBegan = Clock::now();
    if (SUCCEEDED(sync->Read(OPC_DS_CACHE, 1, &handle, states.Put(1), errors.Put(1))))
      reads.push_back(Ms(Clock::now() - readBegan));
    // Off the group's tick, so that samples fall anywhere in its period.
    PumpUntil([] { return false; }, DWORD(17 * (i % 7)));
  }
  PrintSpread(phase, "write -> OnDataChange", toCallback);
  PrintSpread(phase, "sync Read (cache)", reads);
  if (lost) std::printf("%-10s %d writes never reached the callback within 10 s\n", phase, lost);
  point->Unadvise(cookie);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int sleepMs = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int samples = argc > 2 ? std::atoi(argv[2]) : 40;
  quillon::Apartment apartment(COINIT_APARTMENTTHREADED);
  if (FAILED(apartment.Result())) return 2;
  const ClassId classId = ClassId::New();
  int status = 0;
  {
    HostProcess host(classId.text, {"S.T000 5 3 0", "S.T001 5 3 0"});
    if (!host.WaitReady(30000)) {
      std::printf("the host did not start\n");
      return 1;
    }
    host.Command("churn S.T000 on");
    host.Command("writeback on");
    if (!Measure(classId.clsid, "alone", samples, 1000)) status = 1;

    char mode[32];
    std::snprintf(mode, sizeof mode, "slow:%d S.T000", sleepMs);
    ClientProcess slow("e2e_subscriber.exe", classId.text, mode);
    if (!slow.WaitReady(30000)) {
      std::printf("the sleeping client did not get ready\n");
      return 1;
    }
    PumpUntil([] { return false; }, 2000);
    char phase[32];
    std::snprintf(phase, sizeof phase, "slow %dms", sleepMs);
    const auto began = Clock::now();
    if (!Measure(classId.clsid, phase, samples, 2000)) status = 1;
    std::printf("measured for %.1f s beside the sleeping client; host alive: %s\n", Ms(Clock::now() - began) / 1000,
                host.Running() ? "yes" : "no");
    // As under Windows' runtime, whose modal loop dispatches the host's
    // timers while its call to the sleeping client waits.
    host.Command("modalpump on");
    std::snprintf(phase, sizeof phase, "modal %dms", sleepMs);
    if (!Measure(classId.clsid, phase, samples, 3000)) status = 1;
    if (host.Command("modalpump depth", 30000)) {
      auto lines = host.EventsStartingWith("modalpump depth ");
      if (!lines.empty()) std::printf("%s\n", lines.back().c_str());
    }
    const ProcessFigures f = MeasureProcess(host.ProcessId());
    std::printf("host alive: %s, handles %lu, private %lu KB\n", host.Running() ? "yes" : "no", f.handles, f.privateKb);
    slow.Kill();
    host.Command("churn S.T000 off");
    if (!host.Quit(30000)) status = 1;
  }
  return status;
}
