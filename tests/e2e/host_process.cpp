#include "host_process.h"

#include <cstdint>
#include <cstdio>
#include <fstream>

namespace e2e {
namespace {

std::string ExeDir() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p(path, n);
  return p.substr(0, p.find_last_of('\\') + 1);
}

}  // namespace

HostProcess::HostProcess(const std::string& classId) {
  static int serial = 0;
  prefix_ = "QuillonE2E." + std::to_string(GetCurrentProcessId()) + "." + std::to_string(++serial);
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  eventsFile_ = std::string(temp) + prefix_ + ".events";
  for (const char* s : {".ready", ".free", ".quit"}) CloseHandle(Event(s));
  std::string cmd = "\"" + ExeDir() + "e2e_host.exe\" " + classId + " \"" + eventsFile_ + "\" " + prefix_;
  STARTUPINFOA si{sizeof si};
  CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, ExeDir().c_str(), &si, &pi_);
}

HostProcess::~HostProcess() {
  if (pi_.hProcess) {
    if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) Quit(10000);
    if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 9);
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
  }
  DeleteFileA(eventsFile_.c_str());
}

HANDLE HostProcess::Event(const char* suffix) {
  return CreateEventA(nullptr, TRUE, FALSE, (prefix_ + suffix).c_str());
}

bool HostProcess::WaitReady(DWORD ms) {
  if (!pi_.hProcess) return false;
  HANDLE ready = Event(".ready");
  HANDLE both[2] = {ready, pi_.hProcess};
  DWORD r = WaitForMultipleObjects(2, both, FALSE, ms);
  CloseHandle(ready);
  return r == WAIT_OBJECT_0;
}

void HostProcess::RequestFree() {
  HANDLE e = Event(".free");
  SetEvent(e);
  CloseHandle(e);
}

bool HostProcess::Quit(DWORD ms) {
  HANDLE e = Event(".quit");
  SetEvent(e);
  CloseHandle(e);
  return WaitForSingleObject(pi_.hProcess, ms) == WAIT_OBJECT_0;
}

std::vector<std::string> HostProcess::Events() const {
  std::vector<std::string> lines;
  std::ifstream in(eventsFile_);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool HostProcess::WaitForEvent(const std::string& line, DWORD ms) const {
  DWORD end = GetTickCount() + ms;
  do {
    for (const auto& l : Events())
      if (l == line) return true;
    Sleep(20);
  } while (GetTickCount() < end);
  return false;
}

namespace {
DWORD WINAPI Watchdog(void* limit) {
  Sleep(DWORD(reinterpret_cast<uintptr_t>(limit)));
  fputs("watchdog: the test did not finish in time\n", stderr);
  ExitProcess(3);
}
}  // namespace

void StartWatchdog(DWORD ms) {
  CloseHandle(CreateThread(nullptr, 0, Watchdog, reinterpret_cast<void*>(uintptr_t(ms)), 0, nullptr));
}

}  // namespace e2e
