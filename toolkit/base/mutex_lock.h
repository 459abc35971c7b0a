#pragma once
// A bounded wait on a Win32 mutex, released when the guard goes.
#include <windows.h>

namespace quillon {

class MutexLock {
 public:
  MutexLock(HANDLE mutex, DWORD timeoutMs) : mutex_(mutex) {
    DWORD r = mutex ? WaitForSingleObject(mutex, timeoutMs) : WAIT_FAILED;
    locked_ = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
  }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;
  ~MutexLock() {
    if (locked_) ReleaseMutex(mutex_);
  }
  bool Locked() const { return locked_; }

 private:
  HANDLE mutex_;
  bool locked_;
};

}  // namespace quillon
