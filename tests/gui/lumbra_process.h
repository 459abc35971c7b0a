#pragma once
// One run of OPCLumbra.exe in a directory of its own (with Quillon.dll and,
// when given, a configuration file), as a person would start it, and its
// windows as that person sees them.
#include <windows.h>

#include <filesystem>
#include <string>

#include "window_probe.h"

namespace opclumbra {
class TTagManager;
}

namespace gui {

class LumbraProcess {
 public:
  // Config: the OPCLumbra.dat to put beside the program; none when null.
  explicit LumbraProcess(const opclumbra::TTagManager* config);
  LumbraProcess(const LumbraProcess&) = delete;
  LumbraProcess& operator=(const LumbraProcess&) = delete;
  // Ends a program still running and removes the directory.
  ~LumbraProcess();

  const std::filesystem::path& Directory() const { return dir_; }
  std::filesystem::path ConfigFile() const { return dir_ / "OPCLumbra.dat"; }

  // Runs the program with Arguments to its end; its exit code, or ~0 when it did not end in time.
  // What it wrote to its standard error goes to ErrorOutput when given.
  DWORD RunSwitch(const wchar_t* arguments, std::string* errorOutput = nullptr) const;

  // Starts the program and waits for its main window; false when it did not come.
  bool Start();
  DWORD Pid() const { return pid_; }
  HANDLE Process() const { return process_.Get(); }
  bool Running() const;
  bool WaitForEnd(DWORD ms) const;
  DWORD ExitCode() const;
  void Terminate() const;

  HWND Window() const { return window_; }
  HWND Control(int id) const { return GetDlgItem(window_, id); }
  // The icon this run added to the system tray.
  HWND TrayIcon() const { return trayIcon_; }

  // The program's visible dialog with Caption (and a control Id when not 0); waits up to Ms.
  HWND WaitForDialog(const wchar_t* caption, int id, DWORD ms) const;
  // Any visible dialog of the program, or null.
  HWND AnyDialog() const;
  // Brings Window to the foreground so that the keys typed next reach it.
  bool Activate(HWND window) const;

 private:
  std::filesystem::path dir_;
  UniqueHandle process_;
  DWORD pid_ = 0;
  HWND window_ = nullptr;
  HWND trayIcon_ = nullptr;
};

}  // namespace gui
