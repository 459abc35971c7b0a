#include "runner.h"

#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <cstdio>

#include "apartment.h"
#include "process_figures.h"
#include "watchdog.h"

namespace hostile {

const std::vector<std::string>& TagLines() {
  static const std::vector<std::string> kLines = {
      "Tank1.Level 5 3 1.5", "Tank1.Temp 4 1 20", "Counter 3 3 7",     "WriteOnly 3 2 5", "ReadOnly 3 1 9",
      "Short 2 3 3",         "Label 8 3 x",       "Tank2.Sub.Deep 5 3 2", "Flag 11 3 1",  "Tank2.Money 6 3 4"};
  return kLines;
}

const std::vector<std::wstring>& KnownIds() {
  static const std::vector<std::wstring> kIds = {L"Tank1.Level", L"Tank1.Temp", L"Counter",    L"WriteOnly",
                                                 L"ReadOnly",    L"Short",      L"Label",      L"Tank2.Sub.Deep",
                                                 L"Flag",        L"Tank2.Money", L"Tank1",     L"Tank2.Sub"};
  return kIds;
}

namespace {

struct Host {
  e2e::ClassId id = e2e::ClassId::New();
  std::unique_ptr<e2e::HostProcess> process;
  bool Start() {
    process = std::make_unique<e2e::HostProcess>(id.text, TagLines());
    if (!process->WaitReady(30000)) return false;
    WatchHost(process->ProcessId());
    // A tag that changes all the time, so that data-change callbacks come
    // while the calls go on.
    return process->Command("churn Counter on");
  }
};

void PrintFigures(const char* when, DWORD pid) {
  std::string privateBytes = "n/a", workingSet = "n/a", handles = "n/a";
  if (HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid)) {
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(p, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
      // Wine fills only the pagefile figure, which is the private bytes too.
      const SIZE_T bytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
      privateBytes = std::to_string(bytes / 1024) + " KB";
      workingSet = std::to_string(memory.WorkingSetSize / 1024) + " KB";
    }
    // Wine answers no handle count for another process; the system's handle
    // list may still know.
    if (DWORD n = 0; GetProcessHandleCount(p, &n) && n > 0)
      handles = std::to_string(n);
    else if (unsigned long listed = e2e::MeasureProcess(pid).handles)
      handles = std::to_string(listed) + " (system's handle list)";
    CloseHandle(p);
  }
  std::printf("hostile: server %s: private bytes %s, working set %s, handles %s\n", when, privateBytes.c_str(),
              workingSet.c_str(), handles.c_str());
  std::fflush(stdout);
}

// Lines the toolkit logged beyond those its contract logs for a client's
// bad argument: a fault its guard caught, an exception, a failure no result
// code describes.
void CountLogged(Host& host, Tally& tally, size_t& seen) {
  static const char* const kExpected[] = {"log [DAdvise]Unknown data format"};
  const auto logged = host.process->EventsStartingWith("log ");
  unsigned long printed = 0;
  for (size_t i = seen; i < logged.size(); ++i) {
    if (std::ranges::find(kExpected, logged[i]) != std::end(kExpected)) continue;
    ++tally.logged;
    if (++printed <= 5) std::printf("hostile: LOGGED by the server: %s\n", logged[i].c_str());
  }
  seen = logged.size();
}

}  // namespace

int RunAll(const Options& o) {
  quillon::Apartment apartment(COINIT_APARTMENTTHREADED);
  if (FAILED(apartment.Result())) return 10;
  Tally tally;
  const auto began = std::chrono::steady_clock::now();
  std::unique_ptr<Host> host;
  size_t logSeen = 0;
  for (unsigned long k = 0; k < o.seeds; ++k) {
    const uint32_t seed = o.seed + uint32_t(k);
    if (!host || !o.sharedHost || !host->process->Running()) {
      if (host) CountLogged(*host, tally, logSeen);
      host = std::make_unique<Host>();
      logSeen = 0;
      if (!host->Start()) {
        std::printf("hostile: FAIL seed=%u: the host did not start\n", seed);
        ++tally.crashes;
        break;
      }
      if (o.sharedHost) PrintFigures("before", host->process->ProcessId());
    }
    // The host ends two minutes after its last command: a shared one is
    // kept with one per seed.
    if (o.sharedHost && k > 0 && !host->process->Command("churn Counter on")) {
      std::printf("hostile: FAIL seed=%u: the host did not answer a command\n", seed);
      ++tally.wrong;
    }
    {
      Session session(seed, o.calls, *host->process, host->id.clsid, tally);
      session.Run();
    }
    CountLogged(*host, tally, logSeen);
    // The slope shows whether what the host holds grows with the calls.
    if (o.sharedHost && (k + 1) % 10 == 0 && k + 1 < o.seeds && host->process->Running())
      PrintFigures(("after " + std::to_string(tally.calls) + " calls").c_str(), host->process->ProcessId());
    if (!o.sharedHost || k + 1 == o.seeds) {
      if (host->process->Running()) {
        if (o.sharedHost) PrintFigures("after", host->process->ProcessId());
        if (!host->process->Quit(10000)) {
          std::printf("hostile: FAIL seed=%u: the host did not quit when asked\n", seed);
          ++tally.wrong;
        }
      }
      host.reset();
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  std::printf("hostile: seeds %u..%lu, calls %llu, crashes %lu, hangs 0, wrong answers %lu, logged faults %lu, "
              "answers by design %llu, %.1f s\n",
              o.seed, o.seed + o.seeds - 1, tally.calls, tally.crashes, tally.wrong, tally.logged,
              tally.byDesign, seconds);
  std::fflush(stdout);
  return tally.crashes || tally.wrong || tally.logged ? 1 : 0;
}

}  // namespace hostile
