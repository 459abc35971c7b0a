#include "host_process.h"

#include <objbase.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <mutex>

namespace e2e {
namespace {

std::string ExeDir() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p(path, n);
  return p.substr(0, p.find_last_of('\\') + 1);
}

// Hosts still running, so that a watchdog can end them with the test, and
// the event files of hosts, so that it can show what they last did.
std::mutex hostsMutex;
std::vector<HANDLE> liveHosts;
std::vector<std::string> eventFiles;

void TerminateHosts() {
  std::lock_guard lock(hostsMutex);
  for (HANDLE h : liveHosts) TerminateProcess(h, 9);
}

void PrintLastEvents(const std::string& file, size_t count) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  fprintf(stderr, "watchdog: last events of %s:\n", file.c_str());
  for (size_t i = lines.size() > count ? lines.size() - count : 0; i < lines.size(); ++i)
    fprintf(stderr, "  %s\n", lines[i].c_str());
}

[[noreturn]] void GiveUp() {
  fputs("watchdog: the test did not finish in time\n", stderr);
  {
    std::lock_guard lock(hostsMutex);
    for (const auto& file : eventFiles) PrintLastEvents(file, 15);
  }
  fflush(stderr);
  TerminateHosts();
  ExitProcess(3);
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done()) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(std::min<ULONGLONG>(end - now, 20)), QS_ALLINPUT);
  }
}

ClassId ClassId::New() {
  ClassId id{};
  CoCreateGuid(&id.clsid);
  wchar_t text[40];
  StringFromGUID2(id.clsid, text, 40);
  id.text.assign(text, text + 38);
  return id;
}

void HostProcess::NameFiles() {
  static int serial = 0;
  prefix_ = "QuillonE2E." + std::to_string(GetCurrentProcessId()) + "." + std::to_string(++serial);
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  eventsFile_ = std::string(temp) + prefix_ + ".events";
  for (const char* s : {".ready", ".free", ".quit"}) CloseHandle(Event(s));
  std::lock_guard lock(hostsMutex);
  eventFiles.push_back(eventsFile_);
}

void HostProcess::Launch(std::string commandLine) {
  STARTUPINFOA si{sizeof si};
  if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, ExeDir().c_str(), &si,
                     &pi_)) {
    std::lock_guard lock(hostsMutex);
    liveHosts.push_back(pi_.hProcess);
  }
}

HostProcess::HostProcess(const std::string& classId, const std::vector<std::string>& tags) {
  NameFiles();
  std::string cmd = "\"" + ExeDir() + "e2e_host.exe\" " + classId + " \"" + eventsFile_ + "\" " + prefix_;
  if (!tags.empty()) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    tagFile_ = std::string(temp) + prefix_ + ".tags";
    std::ofstream out(tagFile_);
    for (const auto& line : tags) out << line << '\n';
    cmd += " \"" + tagFile_ + "\"";
  }
  Launch(std::move(cmd));
}

HostProcess::HostProcess(const Program& program) {
  NameFiles();
  Launch("\"" + ExeDir() + program.exe + "\" \"" + eventsFile_ + "\" " + prefix_ + " " + program.arguments);
}

ClientProcess::ClientProcess(const std::string& program, const std::string& classId, const std::string& arguments) {
  char name[64];
  std::snprintf(name, sizeof name, "e2e.client.%lu.%llu", GetCurrentProcessId(),
                static_cast<unsigned long long>(GetTickCount64() ^ uintptr_t(this)));
  ready_ = CreateEventA(nullptr, TRUE, FALSE, name);
  std::string cmd = "\"" + ExeDir() + program + "\" " + classId + " " + name + " " + arguments;
  STARTUPINFOA si{sizeof si};
  if (CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, ExeDir().c_str(), &si, &pi_)) {
    std::lock_guard lock(hostsMutex);
    liveHosts.push_back(pi_.hProcess);
  }
}

ClientProcess::~ClientProcess() {
  if (pi_.hProcess) {
    Kill();
    {
      std::lock_guard lock(hostsMutex);
      std::erase(liveHosts, pi_.hProcess);
    }
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
  }
  if (ready_) CloseHandle(ready_);
}

bool ClientProcess::WaitReady(DWORD ms) {
  if (!pi_.hProcess || !ready_) return false;
  HANDLE both[2] = {ready_, pi_.hProcess};
  return WaitForMultipleObjects(2, both, FALSE, ms) == WAIT_OBJECT_0;
}

void ClientProcess::Kill() {
  if (!Running()) return;
  TerminateProcess(pi_.hProcess, 9);
  WaitForSingleObject(pi_.hProcess, 10000);
}

bool ClientProcess::Running() const {
  return pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD ClientProcess::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  if (pi_.hProcess) GetExitCodeProcess(pi_.hProcess, &code);
  return code;
}

HostProcess::~HostProcess() {
  if (pi_.hProcess) {
    if (Running()) Quit(10000);
    if (Running()) TerminateProcess(pi_.hProcess, 9);
    {
      std::lock_guard lock(hostsMutex);
      std::erase(liveHosts, pi_.hProcess);
    }
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
  }
  {
    std::lock_guard lock(hostsMutex);
    std::erase(eventFiles, eventsFile_);
  }
  DeleteFileA(eventsFile_.c_str());
  DeleteFileA((eventsFile_ + ".cmd").c_str());
  if (!tagFile_.empty()) DeleteFileA(tagFile_.c_str());
}

HANDLE HostProcess::Event(const char* suffix, bool manualReset) {
  return CreateEventA(nullptr, manualReset, FALSE, (prefix_ + suffix).c_str());
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

bool HostProcess::Running() const {
  return pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD HostProcess::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  if (pi_.hProcess) GetExitCodeProcess(pi_.hProcess, &code);
  return code;
}

bool HostProcess::Command(const std::string& command, DWORD ms) {
  unsigned long seq = ++commands_;
  {
    std::ofstream out(eventsFile_ + ".cmd", std::ios::trunc);
    out << seq << ' ' << command << '\n';
  }
  HANDLE e = Event(".command", false);
  SetEvent(e);
  CloseHandle(e);
  return WaitForEvent("done " + std::to_string(seq), ms);
}

std::vector<std::string> HostProcess::Events() const {
  std::vector<std::string> lines;
  std::ifstream in(eventsFile_);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> HostProcess::EventsStartingWith(const std::string& prefix) const {
  std::vector<std::string> lines;
  for (auto& l : Events())
    if (l.rfind(prefix, 0) == 0) lines.push_back(std::move(l));
  return lines;
}

bool HostProcess::WaitForEvent(const std::string& line, DWORD ms) const {
  auto recorded = [&] {
    auto lines = Events();
    return std::ranges::find(lines, line) != lines.end();
  };
  // A host that ended records nothing more.
  PumpUntil([&] { return recorded() || !Running(); }, ms);
  return recorded();
}

namespace {

DWORD WINAPI SleepThenGiveUp(void* limit) {
  Sleep(DWORD(reinterpret_cast<uintptr_t>(limit)));
  GiveUp();
}

struct WatchdogArgs {
  HANDLE stop;
  DWORD ms;
};

DWORD WINAPI WaitThenGiveUp(void* p) {
  auto* args = static_cast<WatchdogArgs*>(p);
  if (WaitForSingleObject(args->stop, args->ms) == WAIT_TIMEOUT) GiveUp();
  delete args;
  return 0;
}

}  // namespace

void StartWatchdog(DWORD ms) {
  CloseHandle(CreateThread(nullptr, 0, SleepThenGiveUp, reinterpret_cast<void*>(uintptr_t(ms)), 0, nullptr));
}

Watchdog::Watchdog(DWORD ms)
    : stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      thread_(CreateThread(nullptr, 0, WaitThenGiveUp, new WatchdogArgs{stop_, ms}, 0, nullptr)) {}

Watchdog::~Watchdog() {
  SetEvent(stop_);
  WaitForSingleObject(thread_, INFINITE);
  CloseHandle(thread_);
  CloseHandle(stop_);
}

}  // namespace e2e
