#pragma once
// What the COM benchmark's client (com_bench.exe) and host (com_bench_host.exe)
// agree on: the tag names, and the block of shared memory through which the
// client drives the host and the host reports its own CPU time and memory.
// Only the host can measure itself without disturbing what it measures, so
// the figures about the server process come from there.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <string>

namespace bench {

// The address space: branch "B" of 10,000 VT_R8 leaves (B.T00000..B.T09999),
// branch "C" of 100,000 (C.T000000..C.T099999), and the latency probe L.Stamp.
enum Branch : LONG { kSmall = 0, kLarge = 1 };
inline constexpr LONG kSmallCount = 10'000;
inline constexpr LONG kLargeCount = 100'000;
inline constexpr const char* kBranchName[] = {"B", "C"};
inline constexpr LONG kBranchSize[] = {kSmallCount, kLargeCount};

inline std::string LeafName(Branch branch, LONG index) {
  char name[16];
  std::snprintf(name, sizeof name, branch == kSmall ? "T%05ld" : "T%06ld", long(index));
  return name;
}

inline std::wstring ItemId(Branch branch, LONG index) {
  std::string id = std::string(kBranchName[branch]) + "." + LeafName(branch, index);
  return std::wstring(id.begin(), id.end());
}

inline constexpr wchar_t kStampItemId[] = L"L.Stamp";

// Zero, the content of a fresh block, is no command.
enum class Command : LONG {
  // Reports the host's CPU time and memory now.
  kSnapshot = 1,
  // Changes tags from a timer on the host's thread, as a host pushing its
  // data does: every period, UpdateTag on the next `changes` tags of `branch`
  // (rotating through it from its first tag, each to a new value) and, with `stamp`, then on
  // L.Stamp with the QueryPerformanceCounter value of that moment. The first
  // `warmupTicks` periods are not measured; over the next `ticks` the host
  // reports its process CPU time and the time its UpdateTag loops took.
  kPush,
  kQuit,
};

struct SharedBlock {
  // Written by the client before it starts the host: class IDs new to every
  // run. A host that died without revoking its class objects stays
  // registered under Wine, and activating that class fails from then on.
  CLSID serverClass;
  CLSID baselineClass;
  // Written by the client before it sets the command event.
  Command command;
  Branch branch;
  LONG changes;
  LONG warmupTicks;
  LONG ticks;
  LONG periodMs;
  BOOL stamp;
  // Written by the host before it sets the done event.
  BOOL ok;
  ULONGLONG cpu100ns;  // user + kernel time of the host process: the total, or over the measured ticks
  ULONGLONG workingSet;
  double pushSeconds;  // inside the UpdateTag loops of the measured ticks
};

// Names of the kernel objects of one run, after the client's process ID.
inline std::string ObjectName(DWORD clientPid, const char* what) {
  return "QuillonBench." + std::to_string(clientPid) + "." + what;
}

// One process's view of the shared block.
class BlockView {
 public:
  explicit BlockView(HANDLE mapping)
      : block_(static_cast<SharedBlock*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(SharedBlock)))) {}
  BlockView(const BlockView&) = delete;
  BlockView& operator=(const BlockView&) = delete;
  ~BlockView() {
    if (block_) UnmapViewOfFile(block_);
  }
  explicit operator bool() const { return block_ != nullptr; }
  SharedBlock* Get() const { return block_; }
  SharedBlock* operator->() const { return block_; }

 private:
  SharedBlock* block_;
};

}  // namespace bench
