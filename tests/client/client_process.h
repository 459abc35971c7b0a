#pragma once
// Runs opcclient.exe as a child process with its stdout and stderr in files
// (a pipe would stay open for as long as any server the client started
// lives), so that the tests see its lines and its exit code.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace client {

class ClientProcess {
 public:
  explicit ClientProcess(const std::vector<std::string>& args);
  ClientProcess(const ClientProcess&) = delete;
  ClientProcess& operator=(const ClientProcess&) = delete;
  ~ClientProcess();

  bool Started() const { return pi_.hProcess != nullptr; }
  // Waits for the end, pumping this apartment's messages; false on timeout.
  bool Wait(DWORD ms);
  // Waits until a line of stdout satisfies Match, or the process ends.
  bool WaitForLine(const std::function<bool(const std::string&)>& match, DWORD ms);
  DWORD ExitCode() const;
  std::vector<std::string> Out() const { return Lines(outFile_); }
  std::vector<std::string> Err() const { return Lines(errFile_); }

 private:
  static std::vector<std::string> Lines(const std::string& file);

  std::string outFile_, errFile_;
  PROCESS_INFORMATION pi_{};
};

// One finished run.
struct Outcome {
  DWORD exitCode;
  std::vector<std::string> out, err;
  // The whole of stderr, for messages.
  std::string Errors() const;
};
Outcome RunClient(const std::vector<std::string>& args, DWORD ms = 40000);

// The tab-separated fields of a line.
std::vector<std::string> Fields(const std::string& line);
// Lines of a run whose first field is First.
std::vector<std::string> LinesStartingWith(const std::vector<std::string>& lines, const std::string& first);

}  // namespace client
