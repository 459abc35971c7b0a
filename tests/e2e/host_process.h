#pragma once
// Starts the end-to-end host program and talks to it through named events.
#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

class HostProcess {
 public:
  explicit HostProcess(const std::string& classId);
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;
  ~HostProcess();

  bool WaitReady(DWORD ms);
  void RequestFree();
  // Asks the host to quit and waits for it; false on timeout.
  bool Quit(DWORD ms);
  // Lines the host has recorded so far.
  std::vector<std::string> Events() const;
  // Waits until a recorded line equals Line.
  bool WaitForEvent(const std::string& line, DWORD ms) const;

 private:
  HANDLE Event(const char* suffix);

  std::string prefix_, eventsFile_;
  PROCESS_INFORMATION pi_{};
};

// Ends the test process if a COM call never returns.
void StartWatchdog(DWORD ms);

}  // namespace e2e
