#pragma once
// The state CreateServer builds and FreeServer tears down: the server class's
// identity, the address space, the live server objects and the public groups.
// The class object and every server object hold it, so an object a client
// keeps after FreeServer finds it emptied rather than freed.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "address_space.h"
#include "com_ptr.h"
#include "critical_section.h"
#include "group_context.h"
#include "group_list.h"
#include "host_port.h"

namespace quillon {

class TGroup;
class TServer;
class TServerFactory;

class ModuleState {
 public:
  ModuleState(HostPort& host, std::wstring classId, int32_t scanRate, LONG defaultTimeBias, StreamFormats formats);
  ModuleState(const ModuleState&) = delete;
  ModuleState& operator=(const ModuleState&) = delete;
  ~ModuleState();

  HostPort& Host;
  const std::wstring ServerClassID;
  const int32_t ServerScanRate;
  const LONG DefaultTimeBias;
  AddressSpace& Space() const { return *Groups->space; }
  // What every group of every server object of this module shares.
  const std::shared_ptr<const GroupContext> Groups;

  // Live server objects in order of creation; each adds and removes itself.
  std::vector<TServer*> ServerList;
  // Groups moved to the public list; the list holds one reference on each.
  TGroupList PublicGroupList;
  // Holds one reference while registered.
  ComPtr<TServerFactory> ClassFactory;

  // Around flagging and destroying a group in RemoveGroup and RemovePublicGroup.
  CriticalSection GroupRemovalLock;
};

// Minutes to add to local time to get UTC, for the time zone's current period.
int32_t ComputeDefaultTimeBias();

}  // namespace quillon
