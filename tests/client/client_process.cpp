#include "client_process.h"

#include <fstream>

#include "host_process.h"

namespace client {
namespace {

std::string ExeDir() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p(path, n);
  return p.substr(0, p.find_last_of('\\') + 1);
}

HANDLE CreateOutput(const std::string& file) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  return CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa,
                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ClientProcess::ClientProcess(const std::vector<std::string>& args) {
  static int serial = 0;
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string base =
      std::string(temp) + "opcclient." + std::to_string(GetCurrentProcessId()) + "." + std::to_string(++serial);
  outFile_ = base + ".out";
  errFile_ = base + ".err";
  std::string cmd = "\"" + ExeDir() + "opcclient.exe\"";
  for (const auto& a : args) cmd += " \"" + a + "\"";
  HANDLE out = CreateOutput(outFile_), err = CreateOutput(errFile_);
  STARTUPINFOA si{sizeof si};
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = out;
  si.hStdError = err;
  if (out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
      !CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, ExeDir().c_str(), &si, &pi_))
    pi_ = {};
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  if (err != INVALID_HANDLE_VALUE) CloseHandle(err);
}

ClientProcess::~ClientProcess() {
  if (pi_.hProcess) {
    if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(pi_.hProcess, 9);
      WaitForSingleObject(pi_.hProcess, 5000);
    }
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
  }
  DeleteFileA(outFile_.c_str());
  DeleteFileA(errFile_.c_str());
}

bool ClientProcess::Wait(DWORD ms) {
  if (!pi_.hProcess) return false;
  return e2e::PumpUntil([&] { return WaitForSingleObject(pi_.hProcess, 0) == WAIT_OBJECT_0; }, ms);
}

bool ClientProcess::WaitForLine(const std::function<bool(const std::string&)>& match, DWORD ms) {
  auto seen = [&] {
    for (const auto& line : Out())
      if (match(line)) return true;
    return false;
  };
  e2e::PumpUntil([&] { return seen() || WaitForSingleObject(pi_.hProcess, 0) == WAIT_OBJECT_0; }, ms);
  return seen();
}

DWORD ClientProcess::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  if (pi_.hProcess) GetExitCodeProcess(pi_.hProcess, &code);
  return code;
}

std::vector<std::string> ClientProcess::Lines(const std::string& file) {
  std::vector<std::string> lines;
  std::ifstream in(file, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string Outcome::Errors() const {
  std::string all;
  for (const auto& l : err) all += l + "\n";
  return all;
}

Outcome RunClient(const std::vector<std::string>& args, DWORD ms) {
  ClientProcess p(args);
  if (!p.Started()) return {DWORD(-1), {}, {"opcclient.exe did not start"}};
  if (!p.Wait(ms)) return {DWORD(-2), p.Out(), p.Err()};
  return {p.ExitCode(), p.Out(), p.Err()};
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

std::vector<std::string> LinesStartingWith(const std::vector<std::string>& lines, const std::string& first) {
  std::vector<std::string> found;
  for (const auto& l : lines)
    if (Fields(l)[0] == first) found.push_back(l);
  return found;
}

}  // namespace client
