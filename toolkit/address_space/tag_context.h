#pragma once
// What every tag of one tree shares: the host it calls for reads, writes and
// browse filtering, and the server's scan rate its SCANRATE property shows.
// Held by every tag, so a subtree that outlives its tree still has it.
#include <cstdint>

#include "host_port.h"

namespace quillon {

struct TagContext {
  HostPort& host;
  int32_t scanRate;
};

}  // namespace quillon
