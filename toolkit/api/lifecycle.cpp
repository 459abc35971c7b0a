// Exports that create, tear down and describe the server.
#include <windows.h>

#include <string>

#include "../address_space/opc_tag.h"
#include "../group/group.h"
#include "../server/server.h"
#include "../server/server_factory.h"
#include "ansi_text.h"
#include "except_handler.h"
#include "guard.h"
#include "module_state.h"

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
  return ExportGuard(L"CreateServer", [&]() -> BOOL {
    ModuleState& m = Module();
    if (m.ClassFactory) throw std::logic_error("The server is already created");
    m.ServerClassID = FromAnsi(classId);
    m.ServerScanRate = scanRate;
    m.DefaultTimeBias = ComputeDefaultTimeBias();
    m.RootTag = std::make_shared<TOPCTag>(nullptr, L"ROOT");
    m.PublicGroupList = std::make_unique<std::vector<ComPtr<TGroup>>>();
    m.ServerList = std::make_unique<std::vector<TServer*>>();
    m.AddressSpaceMutex = UniqueHandle(CreateMutexW(nullptr, FALSE, nullptr));
    if (!m.AddressSpaceMutex) throw std::runtime_error("CreateMutex failed");
    m.ClassFactory = TServerFactory::Register(ParseClassId(m.ServerClassID)).Detach();
    m.SavedExceptionFilter = SetUnhandledExceptionFilter(ExceptHandler);
    return kTrue;
  });
}

QUILLON_API BOOL __stdcall FreeServer(void) {
  return ExportGuard(L"FreeServer", [&]() -> BOOL {
    ModuleState& m = Module();
    if (TServerFactory* factory = std::exchange(m.ClassFactory, nullptr)) {
      factory->Revoke();
      factory->Release();
    }
    // The tree goes only if no walk or removal holds the mutex now; otherwise
    // it is left as it is rather than pulled from under that thread.
    if (m.AddressSpaceMutex) {
      DWORD wait = WaitForSingleObject(m.AddressSpaceMutex.Get(), 0);
      if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED)
        m.RootTag.reset();
      else if (m.RootTag)
        m.AbandonedTrees.push_back(std::move(m.RootTag));
    }
    if (auto publics = std::move(m.PublicGroupList)) {
      for (auto it = publics->rbegin(); it != publics->rend(); ++it) {
        CoDisconnectObject(static_cast<IOPCItemMgt*>(it->Get()), 0);
        (*it)->Teardown();
      }
    }
    if (m.ServerList) {
      std::vector<TServer*> servers = *m.ServerList;
      for (auto it = servers.rbegin(); it != servers.rend(); ++it) (*it)->Destroy();
      m.ServerList.reset();
    }
    m.AddressSpaceMutex.Reset();
    SetUnhandledExceptionFilter(std::exchange(m.SavedExceptionFilter, nullptr));
    return kTrue;
  });
}

QUILLON_API void __stdcall ShutDown(void) {
  ExportGuard(L"ShutDown", [&]() -> BOOL {
    ModuleState& m = Module();
    if (!m.ServerList) return kTrue;
    std::vector<ComPtr<TServer>> servers;
    for (TServer* s : *m.ServerList) servers.emplace_back(s);
    for (auto& s : servers) {
      if (s->Destroyed()) continue;  // a client let go during an earlier request
      s->RequestShutdown();
      s->Destroy();
    }
    return kTrue;
  });
}

QUILLON_API BOOL __stdcall SetServerState(LONG state) {
  ExportGuard(L"SetServerState", [&]() -> BOOL {
    if (auto& list = Module().ServerList)
      for (TServer* s : *list) s->SetServerState(uint16_t(state & 0xFFFF));
    return kTrue;
  });
  return kTrue;
}

QUILLON_API BOOL __stdcall SetVensionInfo(const char* vendorInfo, WORD major, WORD minor, WORD build) {
  ExportGuard(L"SetVensionInfo", [&]() -> BOOL {
    ModuleState& m = Module();
    m.VendorInfo = FromAnsi(vendorInfo);
    m.MajorVersion = major;
    m.MinorVersion = minor;
    m.BuildNumber = build;
    return kTrue;
  });
  return kTrue;
}

}  // extern "C"
