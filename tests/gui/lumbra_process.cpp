#include "lumbra_process.h"

#include <objbase.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "ansi_codepage_win.h"
#include "config_file.h"
#include "tag_manager.h"

namespace gui {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

fs::path ExeDir() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return fs::path(std::wstring(path, n)).parent_path();
}

fs::path NewDirectory() {
  GUID id;
  CoCreateGuid(&id);
  wchar_t text[40];
  StringFromGUID2(id, text, 40);
  fs::path dir = fs::temp_directory_path() / (L"OPCLumbraGui" + std::wstring(text + 1, 36));
  fs::create_directories(dir);
  return dir;
}

std::vector<HWND> TrayIcons() {
  std::vector<HWND> icons;
  // Without a desktop tray, Wine shows the icons in a window of its own.
  for (HWND tray : TopLevelWindowsOfClass(L"__winex11_standalone_tray"))
    for (HWND icon : ChildWindows(tray, L"__winex11_tray_icon")) icons.push_back(icon);
  return icons;
}

}  // namespace

LumbraProcess::LumbraProcess(const opclumbra::TTagManager* config) : dir_(NewDirectory()) {
  for (const wchar_t* file : {L"OPCLumbra.exe", L"Quillon.dll"})
    fs::copy_file(ExeDir() / file, dir_ / file, fs::copy_options::overwrite_existing);
  if (config) opclumbra::SaveConfigFile(ConfigFile(), *config, opclumbra::WindowsAnsiCodePage());
}

LumbraProcess::~LumbraProcess() {
  if (Running()) {
    Terminate();
    WaitForEnd(10000);
  }
  process_.Reset();
  std::error_code ignored;
  // The program's files stay locked a moment after its end.
  WaitUntil([&] { fs::remove_all(dir_, ignored);
    return !fs::exists(dir_, ignored); },
            5s);
}

DWORD LumbraProcess::RunSwitch(const wchar_t* arguments, std::string* errorOutput) const {
  std::wstring command = L"\"" + (dir_ / L"OPCLumbra.exe").wstring() + L"\" " + arguments;
  const fs::path outputFile = dir_ / L"switch-output.txt";
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  UniqueHandle output(CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!output) return ~0u;
  STARTUPINFOW si{sizeof si};
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = si.hStdError = output.Get();
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, dir_.c_str(), &si, &pi))
    return ~0u;
  UniqueHandle process(pi.hProcess), thread(pi.hThread);
  if (WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0) {
    TerminateProcess(pi.hProcess, 9);
    return ~0u;
  }
  DWORD code = ~0u;
  GetExitCodeProcess(pi.hProcess, &code);
  output.Reset();
  if (errorOutput) {
    std::ifstream in(outputFile, std::ios::binary);
    errorOutput->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return code;
}

bool LumbraProcess::Start() {
  const std::vector<HWND> iconsBefore = TrayIcons();
  std::wstring command = L"\"" + (dir_ / L"OPCLumbra.exe").wstring() + L"\"";
  STARTUPINFOW si{sizeof si};
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, dir_.c_str(), &si, &pi))
    return false;
  process_ = UniqueHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  pid_ = pi.dwProcessId;
  // The window is hidden at first: look for it among all windows.
  WaitUntil(
      [&] {
        for (HWND w : TopLevelWindowsOfClass(L"TForm1"))
          if (ProcessOf(w) == pid_) window_ = w;
        return window_ != nullptr || !Running();
      },
      20s);
  WaitUntil(
      [&] {
        for (HWND icon : TrayIcons())
          if (std::ranges::find(iconsBefore, icon) == iconsBefore.end()) trayIcon_ = icon;
        return trayIcon_ != nullptr;
      },
      10s);
  return window_ != nullptr;
}

bool LumbraProcess::Running() const {
  return process_ && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT;
}

bool LumbraProcess::WaitForEnd(DWORD ms) const {
  return process_ && WaitForSingleObject(process_.Get(), ms) == WAIT_OBJECT_0;
}

DWORD LumbraProcess::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  if (process_) GetExitCodeProcess(process_.Get(), &code);
  return code;
}

void LumbraProcess::Terminate() const {
  if (process_) TerminateProcess(process_.Get(), 9);
}

HWND LumbraProcess::WaitForDialog(const wchar_t* caption, int id, DWORD ms) const {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND dialog : TopLevelWindows(pid_, L"#32770", caption))
          if (id == 0 || GetDlgItem(dialog, id)) found = dialog;
        return found != nullptr;
      },
      std::chrono::milliseconds(ms));
  return found;
}

HWND LumbraProcess::AnyDialog() const {
  auto dialogs = TopLevelWindows(pid_, L"#32770");
  return dialogs.empty() ? nullptr : dialogs.front();
}

bool LumbraProcess::Activate(HWND window) const {
  return WaitUntil(
      [&] {
        if (GetForegroundWindow() == window) return true;
        SetForegroundWindow(window);
        return false;
      },
      5s);
}

}  // namespace gui
