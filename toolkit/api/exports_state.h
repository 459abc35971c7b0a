#pragma once
// The one place the exports keep what lives between their calls: the host's
// port, for the life of the process, and the module CreateServer built. Only
// the exports and the library's entry point reach it; everything below is
// handed what it needs.
#include <windows.h>

#include <memory>
#include <vector>

#include "host_port.h"
#include "module_state.h"
#include "opc_tag.h"

namespace quillon {

struct ExportsState {
  HostPort host;
  // Null until CreateServer, and again after FreeServer.
  std::shared_ptr<ModuleState> module;
  // Trees that FreeServer could not destroy because a walk held the mutex.
  std::vector<std::shared_ptr<TOPCTag>> abandonedTrees;
  // Registered when the library is loaded.
  StreamFormats formats;
  LPTOP_LEVEL_EXCEPTION_FILTER savedExceptionFilter = nullptr;
};

ExportsState& Exports();

// The module CreateServer built; throws when there is none.
ModuleState& CreatedModule();

}  // namespace quillon
