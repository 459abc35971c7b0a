#pragma once
// Runs seeds against hosts: a host of its own for each seed, or one host
// shared by every seed (the long run, which compares the host's figures
// before and after).
#include <cstdint>

#include "session.h"

namespace hostile {

struct Options {
  uint32_t seed = 1;
  unsigned long seeds = 1;
  unsigned long calls = 2000;
  bool sharedHost = false;
};

// Answers the process exit code: 0 when nothing failed.
int RunAll(const Options& options);

}  // namespace hostile
