#pragma once
// What the host installed through the exports: its callbacks, the log, the
// tag qualifier and the identity server objects report. The slots keep their
// values across CreateServer and FreeServer, so the port lives as long as the
// process and everything the toolkit builds is handed a reference to it.
#include <windows.h>

#include <cstdint>
#include <string>

#include "critical_section.h"
#include "logging.h"
#include "quillon.h"

namespace quillon {

struct HostCallbacks {
  ServerNotifyProc serverNotify = nullptr;
  GroupNotifyProc groupNotify = nullptr;
  ItemNotifyProc itemNotify = nullptr;
  TagNotifyProc tagNotify = nullptr;
  ReadCallbackProc read = nullptr;
  WriteCallbackProc write = nullptr;
  FilterCallbackProc filter = nullptr;
  void* readEx = nullptr;   // stored only: no operation calls it
  void* writeEx = nullptr;  // stored only: no operation calls it
  LogNotifyProc log = nullptr;
};

class HostPort final : public LogSink {
 public:
  HostPort() = default;
  HostPort(const HostPort&) = delete;
  HostPort& operator=(const HostPort&) = delete;

  // Hands the line as a new BSTR to the host's log procedure, if one is installed.
  void LogOperationError(std::wstring_view message, std::wstring_view operation) const noexcept override;

  HostCallbacks Callbacks;
  uint16_t LogOption = 0;
  wchar_t TagQualifier = L'.';
  uint16_t MajorVersion = 1, MinorVersion = 0, BuildNumber = 0;
  std::wstring VendorInfo = L"Vantorix co.ltd";

  // Around every host read or write callback, so that no two overlap.
  CriticalSection CallbackLock;
};

}  // namespace quillon
