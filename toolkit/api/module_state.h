#pragma once
// State of the loaded toolkit: one copy per process.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "com_ptr.h"
#include "critical_section.h"
#include "quillon.h"
#include "unique_handle.h"

namespace quillon {

class TGroup;
class TOPCTag;
class TServer;
class TServerFactory;

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

struct ModuleState {
  std::wstring ServerClassID;
  int32_t ServerScanRate = 10;
  int32_t DefaultTimeBias = 0;
  std::shared_ptr<TOPCTag> RootTag;
  // Trees that FreeServer could not destroy because a walk held the mutex.
  std::vector<std::shared_ptr<TOPCTag>> AbandonedTrees;
  // Live server objects in order of creation; each adds and removes itself.
  std::unique_ptr<std::vector<TServer*>> ServerList;
  // Groups moved to the public list; the list holds one reference on each.
  std::unique_ptr<std::vector<ComPtr<TGroup>>> PublicGroupList;
  UniqueHandle AddressSpaceMutex;
  TServerFactory* ClassFactory = nullptr;  // holds one reference while registered
  LPTOP_LEVEL_EXCEPTION_FILTER SavedExceptionFilter = nullptr;

  HostCallbacks Callbacks;
  uint16_t LogOption = 0;
  wchar_t TagQualifier = L'.';
  uint16_t MajorVersion = 1, MinorVersion = 0, BuildNumber = 0;
  std::wstring VendorInfo = L"Vantorix co.ltd";

  // Around every host read or write callback, so that no two overlap.
  CriticalSection CallbackLock;
  // Around flagging and destroying a group in RemoveGroup and RemovePublicGroup.
  CriticalSection GroupRemovalLock;

  // Clipboard formats of the DA 1.0 data streams.
  UINT FormatData = 0, FormatDataTime = 0, FormatWriteComplete = 0;
};

ModuleState& Module();

// Minutes to add to local time to get UTC, for the time zone's current period.
int32_t ComputeDefaultTimeBias();

void RegisterStreamFormats(ModuleState& m);

}  // namespace quillon
