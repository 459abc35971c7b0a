#pragma once
// Ends the program with kTimedOut when it is still running after a limit: a
// server that never answers a call would otherwise hang a script for ever.
#include <windows.h>

#include "unique_handle.h"

namespace opcclient {

class Watchdog {
 public:
  // No limit when Ms is zero.
  explicit Watchdog(DWORD ms);
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  ~Watchdog();

 private:
  quillon::UniqueHandle stop_;
  quillon::UniqueHandle thread_;
};

}  // namespace opcclient
