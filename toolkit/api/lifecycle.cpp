// Exports that create, tear down and describe the server.
#include <windows.h>

#include <string>

#include "ansi_text.h"
#include "except_handler.h"
#include "exports_state.h"
#include "group.h"
#include "guard.h"
#include "server.h"
#include "server_factory.h"

using namespace quillon;

namespace {

CLSID ParseClassId(const std::wstring& text) {
  CLSID clsid;
  // Only the registry form "{xxxxxxxx-...}" is a class identifier here;
  // CLSIDFromString would also look up ProgIDs.
  if (text.size() != 38 || FAILED(IIDFromString(text.c_str(), &clsid)))
    throw std::invalid_argument("Invalid class identifier: " + std::string(text.begin(), text.end()));
  return clsid;
}

}  // namespace

extern "C" {

QUILLON_API BOOL __stdcall CreateServer(const char* classId, LONG scanRate) {
  ExportsState& e = Exports();
  return ExportGuard(e.host, L"CreateServer", [&]() -> BOOL {
    if (e.module && e.module->ClassFactory) throw std::logic_error("The server is already created");
    // Installed before the class object is registered: a registration that
    // fails leaves the tree and the lists in place, as built so far.
    e.module = std::make_shared<ModuleState>(e.host, FromAnsi(classId), scanRate, ComputeDefaultTimeBias(), e.formats);
    ModuleState& m = *e.module;
    m.ClassFactory = TServerFactory::Register(ParseClassId(m.ServerClassID), e.module);
    e.savedExceptionFilter = SetUnhandledExceptionFilter(ExceptHandler);
    return kTrue;
  });
}

QUILLON_API BOOL __stdcall FreeServer(void) {
  ExportsState& e = Exports();
  return ExportGuard(e.host, L"FreeServer", [&]() -> BOOL {
    // The module goes once no object a client still holds refers to it;
    // what it owned goes now.
    std::shared_ptr<ModuleState> module = std::move(e.module);
    if (module) {
      ModuleState& m = *module;
      if (ComPtr<TServerFactory> factory = std::move(m.ClassFactory)) factory->Revoke();
      if (std::shared_ptr<TOPCTag> kept = m.Space().ReleaseTree()) e.abandonedTrees.push_back(std::move(kept));
      std::vector<ComPtr<TGroup>> publics = m.PublicGroupList.TakeAll();
      for (auto it = publics.rbegin(); it != publics.rend(); ++it) {
        CoDisconnectObject(static_cast<IOPCItemMgt*>(it->Get()), 0);
        (*it)->Teardown();
      }
      std::vector<TServer*> servers = m.ServerList;
      for (auto it = servers.rbegin(); it != servers.rend(); ++it) (*it)->Destroy();
      m.Space().CloseMutex();
    }
    SetUnhandledExceptionFilter(std::exchange(e.savedExceptionFilter, nullptr));
    return kTrue;
  });
}

QUILLON_API void __stdcall ShutDown(void) {
  ExportsState& e = Exports();
  ExportGuard(e.host, L"ShutDown", [&]() -> BOOL {
    if (!e.module) return kTrue;
    std::vector<ComPtr<TServer>> servers;
    for (TServer* s : e.module->ServerList) servers.emplace_back(s);
    for (auto& s : servers) {
      if (s->Destroyed()) continue;  // a client let go during an earlier request
      s->RequestShutdown();
      s->Destroy();
    }
    return kTrue;
  });
}

QUILLON_API BOOL __stdcall SetServerState(LONG state) {
  ExportsState& e = Exports();
  ExportGuard(e.host, L"SetServerState", [&]() -> BOOL {
    if (e.module)
      for (TServer* s : e.module->ServerList) s->SetServerState(uint16_t(state & 0xFFFF));
    return kTrue;
  });
  return kTrue;
}

QUILLON_API BOOL __stdcall SetVensionInfo(const char* vendorInfo, WORD major, WORD minor, WORD build) {
  HostPort& host = Exports().host;
  ExportGuard(host, L"SetVensionInfo", [&]() -> BOOL {
    host.VendorInfo = FromAnsi(vendorInfo);
    host.MajorVersion = major;
    host.MinorVersion = minor;
    host.BuildNumber = build;
    return kTrue;
  });
  return kTrue;
}

}  // extern "C"
