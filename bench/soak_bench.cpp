// Long runs that must leave the server flat, through out-of-process COM
// against the end-to-end host (e2e_host.exe) serving 100 VT_R8 tags S.T000..S.T099:
//  1. cycles of a whole client session: connect, AddGroup, AddItems(100),
//     subscribe, sync read, sync write, async read (waiting for its
//     completion), RemoveItems, RemoveGroup, release;
//  2. subscribing clients (e2e_subscriber.exe) killed from outside, each
//     waited for until the server has reclaimed it.
// Every 500 cycles (every 100 kills) it prints the host's kernel handles,
// private bytes and windows, and at the end the slope per cycle of each by
// least squares: the figure that says whether anything grows.
//   soak_bench.exe [CYCLES [KILLS]]   (defaults 10,000 and 1,000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "apartment.h"
#include "client_session.h"
#include "opc_client.h"
#include "process_figures.h"

namespace {

using namespace e2e;

constexpr int kItems = 100;

std::wstring TagId(int i) {
  wchar_t id[16];
  std::swprintf(id, 16, L"S.T%03d", i);
  return id;
}

struct Sample {
  double x;
  ProcessFigures f;
};

ProcessFigures HostFigures(HostProcess& host) {
  ProcessFigures f;
  if (!host.Command("figures", 30000)) return f;
  auto lines = host.EventsStartingWith("figures ");
  if (!lines.empty()) std::istringstream(lines.back().substr(8)) >> f.handles >> f.privateKb >> f.windows;
  return f;
}

double Slope(const std::vector<Sample>& samples, unsigned long ProcessFigures::*field) {
  const double n = double(samples.size());
  if (n < 2) return 0;
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (const auto& s : samples) {
    const double y = double(s.f.*field);
    sx += s.x;
    sy += y;
    sxx += s.x * s.x;
    sxy += s.x * y;
  }
  const double d = n * sxx - sx * sx;
  return d == 0 ? 0 : (n * sxy - sx * sy) / d;
}

void Print(const char* what, double x, const ProcessFigures& f) {
  std::printf("%-8s %7.0f  handles %5lu  private %7lu KB  windows %4lu\n", what, x, f.handles, f.privateKb, f.windows);
  std::fflush(stdout);
}

void PrintSlopes(const char* per, const std::vector<Sample>& samples) {
  std::printf("slope per %s: handles %+.4f, private %+.3f KB, windows %+.4f (%zu samples)\n", per,
              Slope(samples, &ProcessFigures::handles), Slope(samples, &ProcessFigures::privateKb),
              Slope(samples, &ProcessFigures::windows), samples.size());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const int cycles = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int kills = argc > 2 ? std::atoi(argv[2]) : 1000;
  quillon::Apartment apartment(COINIT_APARTMENTTHREADED);
  if (FAILED(apartment.Result())) return 2;
  const ClassId classId = ClassId::New();
  std::vector<std::string> tags;
  std::vector<std::wstring> ids;
  for (int i = 0; i < kItems; ++i) {
    ids.push_back(TagId(i));
    char line[32];
    std::snprintf(line, sizeof line, "S.T%03d 5 3 %d", i, i);
    tags.push_back(line);
  }
  int status = 0;
  {
    HostProcess host(classId.text, tags);
    if (!host.WaitReady(30000)) {
      std::printf("the host did not start\n");
      return 1;
    }
    // The host's tags keep changing, so every subscription has work.
    host.Command("churn S.T000 on");

    const auto began = std::chrono::steady_clock::now();
    std::vector<Sample> samples;
    samples.push_back({0, HostFigures(host)});
    Print("cycle", 0, samples.back().f);
    int failures = 0;
    for (int cycle = 1; cycle <= cycles; ++cycle) {
      if (const std::string failed = RunClientSession(classId.clsid, ids); !failed.empty()) {
        std::printf("session failed at %s\n", failed.c_str());
        if (++failures > 10) break;
      }
      if (cycle % 500 == 0) {
        samples.push_back({double(cycle), HostFigures(host)});
        Print("cycle", cycle, samples.back().f);
      }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::printf("%d sessions in %.1f s (%.1f ms each), %d failed\n", cycles, seconds, 1000 * seconds / cycles, failures);
    // The first samples include what the first sessions set up once (caches, the RPC threads).
    if (samples.size() > 3) samples.erase(samples.begin(), samples.begin() + 2);
    PrintSlopes("session", samples);

    samples.clear();
    samples.push_back({0, HostFigures(host)});
    Print("killed", 0, samples.back().f);
    int unreclaimed = 0;
    const auto killsBegan = std::chrono::steady_clock::now();
    for (int kill = 1; kill <= kills; ++kill) {
      const size_t goneBefore = host.EventsStartingWith("log [ClientGone]").size();
      ClientProcess client("e2e_subscriber.exe", classId.text, "callback S.T000 S.T001 S.T002");
      if (!client.WaitReady(30000)) {
        std::printf("subscriber %d did not get ready (exit code %lu)\n", kill, client.ExitCode());
        ++unreclaimed;
        continue;
      }
      if (!std::getenv("SUBSCRIBER_LIFETIME_MS")) client.Kill();
      if (!PumpUntil([&] { return host.EventsStartingWith("log [ClientGone]").size() > goneBefore; }, 15000))
        ++unreclaimed;
      if (kill % 100 == 0) {
        samples.push_back({double(kill), HostFigures(host)});
        Print("killed", kill, samples.back().f);
      }
    }
    const double killSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - killsBegan).count();
    std::printf("%d subscribers killed in %.1f s, %d not reclaimed within 15 s\n", kills, killSeconds, unreclaimed);
    if (samples.size() > 3) samples.erase(samples.begin(), samples.begin() + 1);
    PrintSlopes("killed client", samples);
    if (failures || unreclaimed) status = 1;
    host.Command("churn S.T000 off");
    if (!host.Quit(30000)) status = 1;
  }
  return status;
}
