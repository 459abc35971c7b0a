#include "process_reference.h"

#include <objbase.h>

#include <atomic>

namespace serverlist {
namespace {

std::atomic<DWORD> serviceThread{0};
std::atomic<bool> referenced{false};

}  // namespace

void SetServiceThread(DWORD threadId) { serviceThread = threadId; }

bool EverReferenced() { return referenced; }

void HoldProcess() {
  referenced = true;
  CoAddRefServerProcess();
}

void ReleaseProcess() {
  // At zero COM has already suspended the class objects: a client that comes
  // now gets a new process.
  if (CoReleaseServerProcess() == 0 && serviceThread != 0) PostThreadMessageW(serviceThread, WM_QUIT, 0, 0);
}

}  // namespace serverlist
