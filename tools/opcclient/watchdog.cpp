#include "watchdog.h"

#include <string>

#include "exit_codes.h"
#include "output.h"

namespace opcclient {
namespace {

struct Limit {
  HANDLE stop;
  DWORD ms;
};

DWORD WINAPI Watch(void* p) {
  const Limit limit = *static_cast<Limit*>(p);
  delete static_cast<Limit*>(p);
  if (WaitForSingleObject(limit.stop, limit.ms) != WAIT_TIMEOUT) return 0;
  PrintError("opcclient: the server did not answer within " + std::to_string(limit.ms / 1000) + " s");
  // Not ExitProcess: the main thread is stuck inside COM, whose clean-up on
  // process detach could wait on it.
  TerminateProcess(GetCurrentProcess(), kTimedOut);
  return 0;
}

}  // namespace

Watchdog::Watchdog(DWORD ms) : stop_(ms ? CreateEventW(nullptr, TRUE, FALSE, nullptr) : nullptr) {
  if (!stop_) return;
  auto* limit = new Limit{stop_.Get(), ms};
  HANDLE thread = CreateThread(nullptr, 0, Watch, limit, 0, nullptr);
  if (!thread) delete limit;
  thread_ = quillon::UniqueHandle(thread);
}

Watchdog::~Watchdog() {
  if (!thread_) return;
  SetEvent(stop_.Get());
  WaitForSingleObject(thread_.Get(), INFINITE);
}

}  // namespace opcclient
