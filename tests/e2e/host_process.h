#pragma once
// Starts the end-to-end host program and talks to it through named events
// (see test_host.cpp for the protocol and the lines of its events file).
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace e2e {

// A class ID of its own for each host, so that hosts of tests running in
// parallel never serve each other's clients.
struct ClassId {
  CLSID clsid;
  std::string text;  // registry form, with braces
  static ClassId New();
};

class HostProcess {
 public:
  // Tags: lines of the host's tag file; none means no tag file.
  explicit HostProcess(const std::string& classId, const std::vector<std::string>& tags = {});
  // Another host program of this directory speaking the same protocol,
  // started as "PROGRAM EVENTS_FILE EVENT_PREFIX ARGUMENTS".
  struct Program {
    std::string exe, arguments;
  };
  explicit HostProcess(const Program& program);
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;
  ~HostProcess();

  bool WaitReady(DWORD ms);
  void RequestFree();
  // Asks the host to quit and waits for it; false on timeout.
  bool Quit(DWORD ms);
  bool Running() const;
  DWORD ExitCode() const;
  DWORD ProcessId() const { return pi_.dwProcessId; }
  // Runs one host command and waits until the host reports it done, pumping
  // this thread's messages meanwhile: the command may call back into this
  // apartment (ShutDown calls the client's shutdown sink).
  bool Command(const std::string& command, DWORD ms = 10000);
  // Lines the host has recorded so far.
  std::vector<std::string> Events() const;
  // Recorded lines that start with Prefix, in order.
  std::vector<std::string> EventsStartingWith(const std::string& prefix) const;
  // Waits, pumping messages, until a recorded line equals Line.
  bool WaitForEvent(const std::string& line, DWORD ms) const;

 private:
  HANDLE Event(const char* suffix, bool manualReset = true);
  void NameFiles();
  void Launch(std::string commandLine);

  std::string prefix_, eventsFile_, tagFile_;
  unsigned long commands_ = 0;
  PROCESS_INFORMATION pi_{};
};

// Another client process of this directory (e2e_subscriber.exe), started
// with Arguments and a ready event of its own as its second argument, after
// ClassId: "PROGRAM CLASSID READY_EVENT ARGUMENTS". Killed at the latest when
// the object goes, or by the watchdog.
class ClientProcess {
 public:
  ClientProcess(const std::string& program, const std::string& classId, const std::string& arguments);
  ClientProcess(const ClientProcess&) = delete;
  ClientProcess& operator=(const ClientProcess&) = delete;
  ~ClientProcess();

  // Waits until the client set its ready event; false if it ended first or the time passed.
  bool WaitReady(DWORD ms);
  // Ends the process at once, as a crash or a kill from outside does.
  void Kill();
  bool Running() const;
  DWORD ExitCode() const;

 private:
  HANDLE ready_ = nullptr;
  PROCESS_INFORMATION pi_{};
};

// Dispatches this apartment's messages, through which the server's calls
// arrive, until Done holds or Ms have passed; answers Done.
bool PumpUntil(const std::function<bool()>& done, DWORD ms);

// Ends the test process, and every host it started, if a COM call never
// returns.
void StartWatchdog(DWORD ms);

// The same for the lifetime of one object, e.g. one test.
class Watchdog {
 public:
  explicit Watchdog(DWORD ms);
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  ~Watchdog();

 private:
  HANDLE stop_;
  HANDLE thread_;
};

}  // namespace e2e
