// A hostile client: from a seed, random calls with hostile arguments on every
// interface of the server object and its groups, through real out-of-process
// COM, each checked for a live server, a bounded time, a documented code and
// null out-pointers on failure.
//   hostile_client.exe [--seed S] [--seeds K] [--calls N] [--shared-host]
// runs seeds S..S+K-1 (default 1, 1), N calls each (default 2000);
// "--seed S --calls N" replays a failure line's sequence.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runner.h"

int main(int argc, char** argv) {
  hostile::Options o;
  for (int i = 1; i < argc; ++i) {
    auto next = [&]() -> unsigned long {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "%s needs a number\n", argv[i]);
        std::exit(64);
      }
      return std::strtoul(argv[++i], nullptr, 0);
    };
    if (!std::strcmp(argv[i], "--seed")) o.seed = uint32_t(next());
    else if (!std::strcmp(argv[i], "--seeds")) o.seeds = next();
    else if (!std::strcmp(argv[i], "--calls")) o.calls = next();
    else if (!std::strcmp(argv[i], "--shared-host")) o.sharedHost = true;
    else {
      std::fprintf(stderr, "usage: hostile_client [--seed S] [--seeds K] [--calls N] [--shared-host]\n");
      return 64;
    }
  }
  return hostile::RunAll(o);
}
