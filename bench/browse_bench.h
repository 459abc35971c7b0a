#pragma once
// What the browse benchmark's client (browse_bench.exe) and host
// (browse_bench_host.exe) agree on: the address space and the names of the
// kernel objects of one run.
#include <windows.h>

#include <cstdio>
#include <string>

namespace bench::browse {

// Branch "Wide" of 100,000 VT_R8 leaves (Wide.T000000..Wide.T099999), and a
// chain of 50 branches L01.L02...L50 with the leaf Value at its bottom and one
// leaf Side at every level.
inline constexpr long kWideCount = 100'000;
inline constexpr int kDepth = 50;
inline constexpr const char* kWideBranch = "Wide";

inline std::string WideLeaf(long index) {
  char name[16];
  std::snprintf(name, sizeof name, "T%06ld", index);
  return name;
}

inline std::string Level(int depth) {
  char name[8];
  std::snprintf(name, sizeof name, "L%02d", depth);
  return name;
}

// L01.L02...Lnn
inline std::string ChainItemId(int depth) {
  std::string id;
  for (int d = 1; d <= depth; ++d) id += (d > 1 ? "." : "") + Level(d);
  return id;
}

// The host sets it once the server and the tags are in place.
inline std::string ReadyEventName(DWORD clientPid) {
  return "QuillonBrowseBench." + std::to_string(clientPid) + ".ready";
}

}  // namespace bench::browse
