#pragma once
// What the groups of one server module share: the host, the address space
// their items come from, the server's minimum update rate and time bias, and
// the clipboard formats of the DA 1.0 streams. Every group holds it, so a
// group that clients keep after the server is freed still has what it reads.
#include <windows.h>

#include <memory>

#include "address_space.h"
#include "host_port.h"

namespace quillon {

struct StreamFormats {
  UINT Data = 0, DataTime = 0, WriteComplete = 0;
};

struct GroupContext {
  HostPort& host;
  std::shared_ptr<AddressSpace> space;
  int32_t scanRate;
  LONG defaultTimeBias;
  StreamFormats formats;
};

}  // namespace quillon
