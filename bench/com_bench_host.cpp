// The COM benchmark's host: a host program as a real one is. It loads
// Quillon.dll by name, creates the server with the minimum update rate of
// 10 ms, registers the benchmark's tags, serves the reference class from the
// same apartment, and pumps messages; every COM call and every group timer
// runs in that loop, and so do its own UpdateTag pushes (from a thread timer).
// com_bench.exe starts it and drives it through the shared block (com_bench.h).
//   com_bench_host.exe CLIENT_PID
// It ends when told to, when the client process ends, or after kLifetimeMs.
#include <windows.h>
#include <objbase.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "apartment.h"
#include "baseline_group.h"
#include "com_bench.h"
#include "opc_da.h"
#include "quillon_dll.h"
#include "unique_handle.h"

namespace {

using quillon::UniqueHandle;
using namespace bench;

constexpr ULONGLONG kLifetimeMs = 300'000;
constexpr WORD kGood = 0xC0;

ULONGLONG ToCount(const FILETIME& ft) { return (ULONGLONG(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

// User plus kernel time of every thread of this process, in 100 ns units.
ULONGLONG ProcessCpu() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  return ToCount(kernel) + ToCount(user);
}

VARIANT Double(double d) {
  VARIANT v;
  V_VT(&v) = VT_R8;
  V_R8(&v) = d;
  return v;
}

struct Tags {
  std::vector<TagHandle> leaves[2];
  TagHandle stamp = nullptr;
};

// A client's write reaches the probe as a device would take it, and so every
// subscriber of it; writes to the other tags are accepted and go nowhere,
// so that a Write measures the server and not this host.
const QuillonDll* writeTarget = nullptr;
TagHandle writableStamp = nullptr;

void __stdcall OnWrite(TagHandle tag, VARIANT value, HRESULT* result) {
  *result = S_OK;
  if (tag == writableStamp && writeTarget && !writeTarget->UpdateTag(tag, value, kGood)) *result = E_FAIL;
}

bool RegisterTags(const QuillonDll& q, Tags& tags) {
  for (Branch b : {kSmall, kLarge}) {
    TagHandle branch = q.RegTagEx(nullptr, kBranchName[b], VT_EMPTY, OPC_READABLE);
    if (!branch) return false;
    auto& leaves = tags.leaves[b];
    leaves.reserve(size_t(kBranchSize[b]));
    for (LONG i = 0; i < kBranchSize[b]; ++i) {
      TagHandle t = q.RegTagEx(branch, LeafName(b, i).c_str(), VT_R8, OPC_READABLE | OPC_WRITEABLE);
      // A good value to start from, as a host has once its device answered.
      if (!t || !q.UpdateTag(t, Double(i * 0.5), kGood)) return false;
      leaves.push_back(t);
    }
  }
  TagHandle probe = q.RegTagEx(nullptr, "L", VT_EMPTY, OPC_READABLE);
  tags.stamp = probe ? q.RegTagEx(probe, "Stamp", VT_R8, OPC_READABLE | OPC_WRITEABLE) : nullptr;
  return tags.stamp && q.UpdateTag(tags.stamp, Double(0), kGood);
}

// One kPush command, driven by a thread timer. A timer procedure rather than
// a WM_TIMER seen in the loop: COM's own modal loops (while the server waits
// on a callback into the client) dispatch it too, and a procedure-less thread
// timer dispatched there would be lost.
class PushRun {
 public:
  PushRun(const QuillonDll& q, const Tags& tags, SharedBlock* block, HANDLE done)
      : q_(q), tags_(tags), block_(block), done_(done) {}

  bool Start() {
    if (running_ || block_->branch < kSmall || block_->branch > kLarge || block_->changes < 0 ||
        block_->changes > kBranchSize[block_->branch] || block_->ticks <= 0 || block_->periodMs <= 0)
      return false;
    current_ = this;
    tick_ = 0;
    next_ = 0;
    pushTicks_ = 0;
    failed_ = false;
    timer_ = SetTimer(nullptr, 0, UINT(block_->periodMs), OnTimer);
    running_ = timer_ != 0;
    return running_;
  }

 private:
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (current_) current_->Tick();
  }

  void Tick() {
    if (!running_) return;
    ++tick_;
    const LONG warmup = block_->warmupTicks, measured = block_->ticks;
    if (tick_ == warmup + 1) cpuStart_ = ProcessCpu();
    if (tick_ > warmup + measured) return Finish();
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    const auto& leaves = tags_.leaves[block_->branch];
    for (LONG i = 0; i < block_->changes; ++i) {
      failed_ |= !q_.UpdateTag(leaves[next_], Double(++value_), kGood);
      next_ = (next_ + 1) % leaves.size();
    }
    if (block_->stamp) {
      LARGE_INTEGER now;
      QueryPerformanceCounter(&now);
      failed_ |= !q_.UpdateTag(tags_.stamp, Double(double(now.QuadPart)), kGood);
    }
    QueryPerformanceCounter(&b);
    if (tick_ > warmup) pushTicks_ += b.QuadPart - a.QuadPart;
  }

  void Finish() {
    block_->cpu100ns = ProcessCpu() - cpuStart_;
    KillTimer(nullptr, timer_);
    running_ = false;
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    block_->pushSeconds = double(pushTicks_) / double(f.QuadPart);
    block_->ok = !failed_;
    SetEvent(done_);
  }

  static inline PushRun* current_ = nullptr;
  const QuillonDll& q_;
  const Tags& tags_;
  SharedBlock* block_;
  HANDLE done_;
  bool running_ = false;
  bool failed_ = false;
  UINT_PTR timer_ = 0;
  LONG tick_ = 0;
  size_t next_ = 0;
  double value_ = 0;
  ULONGLONG cpuStart_ = 0;
  LONGLONG pushTicks_ = 0;
};

void Snapshot(SharedBlock* block) {
  block->cpu100ns = ProcessCpu();
  PROCESS_MEMORY_COUNTERS m{};
  m.cb = sizeof m;
  block->ok = GetProcessMemoryInfo(GetCurrentProcess(), &m, sizeof m);
  block->workingSet = m.WorkingSetSize;
}

UniqueHandle OpenNamedEvent(DWORD clientPid, const char* what) {
  return UniqueHandle(OpenEventA(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, ObjectName(clientPid, what).c_str()));
}

int Serve(DWORD clientPid) {
  UniqueHandle client(OpenProcess(SYNCHRONIZE, FALSE, clientPid));
  UniqueHandle mapping(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, ObjectName(clientPid, "block").c_str()));
  UniqueHandle command = OpenNamedEvent(clientPid, "command");
  UniqueHandle done = OpenNamedEvent(clientPid, "done");
  UniqueHandle ready = OpenNamedEvent(clientPid, "ready");
  if (!client || !mapping || !command || !done || !ready) return 2;
  BlockView block(mapping.Get());
  if (!block) return 2;

  QuillonDll q;
  if (!q.module || !q.CreateServer || !q.SetServerState || !q.RegTagEx || !q.UpdateTag || !q.FreeServer) {
    std::fputs("com_bench_host: cannot load Quillon.dll and its exports\n", stderr);
    return 3;
  }
  wchar_t wideClass[40];
  char serverClass[40];
  if (!StringFromGUID2(block->serverClass, wideClass, 40) ||
      !WideCharToMultiByte(CP_ACP, 0, wideClass, -1, serverClass, sizeof serverClass, nullptr, nullptr) ||
      !q.CreateServer(serverClass, 10))
    return 3;
  q.SetServerState(1);
  Tags tags;
  if (!RegisterTags(q, tags)) {
    std::fputs("com_bench_host: cannot register the tags\n", stderr);
    q.FreeServer();
    return 3;
  }
  writeTarget = &q;
  writableStamp = tags.stamp;
  if (q.SetWriteCallback) q.SetWriteCallback(OnWrite);
  DWORD baselineCookie = 0;
  if (FAILED(RegisterBaselineClass(block->baselineClass, &baselineCookie))) {
    q.FreeServer();
    return 3;
  }
  SetEvent(ready.Get());

  PushRun push(q, tags, block.Get(), done.Get());
  const ULONGLONG deadline = GetTickCount64() + kLifetimeMs;
  bool quit = false;
  while (!quit && GetTickCount64() < deadline) {
    HANDLE wanted[2] = {command.Get(), client.Get()};
    DWORD r = MsgWaitForMultipleObjectsEx(2, wanted, 1000, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (r == WAIT_OBJECT_0 + 1) break;
    if (r == WAIT_OBJECT_0) {
      switch (block->command) {
        case Command::kSnapshot:
          Snapshot(block.Get());
          SetEvent(done.Get());
          break;
        case Command::kPush:
          if (!push.Start()) {
            block->ok = FALSE;
            SetEvent(done.Get());
          }
          break;
        case Command::kQuit: quit = true; break;
        default:
          block->ok = FALSE;
          SetEvent(done.Get());
      }
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  CoRevokeClassObject(baselineCookie);
  q.FreeServer();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: com_bench_host.exe CLIENT_PID (started by com_bench.exe)\n", stderr);
    return 1;
  }
  quillon::Apartment apartment(COINIT_APARTMENTTHREADED);
  return Serve(DWORD(std::strtoul(argv[1], nullptr, 10)));
}
