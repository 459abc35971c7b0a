// The server object's lifetime and the internal steps its groups use.
#include "server.h"

#include <algorithm>

#include "../api/client_gone.h"
#include "../api/error_texts.h"
#include "../api/guard.h"
#include "../api/logging.h"
#include "../api/module_state.h"
#include "../group/group.h"

namespace quillon {
namespace {

bool SameNameAscii(std::wstring_view a, std::wstring_view b) {
  auto upper = [](wchar_t c) { return (c >= L'a' && c <= L'z') ? wchar_t(c - 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](wchar_t x, wchar_t y) { return upper(x) == upper(y); });
}

}  // namespace

TServer::TServer() {
  ModuleState& m = Module();
  ComGuard(L"TOPCDASvr.Initialize", E_FAIL, [&] {
    if (m.ServerList) {
      m.ServerList->push_back(this);
      listed_ = true;
    }
    GetSystemTimeAsFileTime(&status_.ftStartTime);
    status_.dwServerState = OPC_STATUS_RUNNING;
    status_.wMajorVersion = m.MajorVersion;
    status_.wMinorVersion = m.MinorVersion;
    status_.wBuildNumber = m.BuildNumber;
    vendorInfo_ = m.VendorInfo;
    shutdownPoint_ = MakeCom<TConnectionPoint>(
        static_cast<IConnectionPointContainer*>(this), IID_IOPCShutdown, [this](IUnknown* sink, bool connecting) {
          shutdownSink_ = connecting ? ComPtr<IOPCShutdown>(static_cast<IOPCShutdown*>(sink)) : nullptr;
        });
    return S_OK;
  });
  if (ServerNotifyProc proc = m.Callbacks.serverNotify) proc(Handle(), 0);
}

TServer::~TServer() {
  ComGuard(L"TOPCDASvr.Destroy", E_FAIL, [&] {
    LeaveServerList();
    return S_OK;
  });
}

void TServer::LeaveServerList() {
  ReleaseGroups();
  if (shutdownPoint_) shutdownPoint_->Detach();
  shutdownSink_.Reset();
  if (!listed_) return;
  listed_ = false;
  ModuleState& m = Module();
  if (m.ServerList) std::erase(*m.ServerList, this);
  if (ServerNotifyProc proc = m.Callbacks.serverNotify) proc(Handle(), 1);
}

// Groups the client did not remove go with the server: torn down, so a client
// still holding one gets E_FAIL, and cut off from this object.
void TServer::ReleaseGroups() {
  std::vector<ComPtr<TGroup>> groups = std::move(groups_);
  groups_.clear();
  status_.dwGroupCount = 0;
  for (auto& g : groups) {
    g->DetachFromServer();
    g->Teardown();
  }
  if (auto& list = Module().PublicGroupList)
    for (auto& g : *list)
      if (g->Server() == this) g->DetachFromServer();
}

void TServer::Destroy() {
  if (destroyed_) return;
  ComPtr<TServer> keepAlive(this);
  destroyed_ = true;
  std::vector<ComPtr<TGroup>> groups = groups_;
  LeaveServerList();
  for (auto& g : groups) CoDisconnectObject(static_cast<IOPCItemMgt*>(g.Get()), 0);
  CoDisconnectObject(static_cast<IOPCServer*>(this), 0);
}

void TServer::RequestShutdown() {
  ComPtr<IOPCShutdown> sink = shutdownSink_;
  if (!sink) return;
  const HRESULT hr = sink->ShutdownRequest(L"");
  if (!ClientGone(hr)) return;
  // Nothing more is asked of a client that is gone.
  if (shutdownPoint_) shutdownPoint_->Drop();
  shutdownSink_.Reset();
  LogOperationError(L"Server: the client is gone (" + WidenMessage(ErrorName(hr)) + L" from ShutdownRequest)",
                    L"ClientGone");
}

TGroup* TServer::GetGrp(OPCHANDLE handle, bool isPublic) const {
  if (isPublic) {
    if (auto& list = Module().PublicGroupList)
      for (auto& g : *list)
        if (g->GroupHandle() == handle) return g.Get();
    return nullptr;
  }
  for (auto& g : groups_)
    if (g->GroupHandle() == handle) return g.Get();
  return nullptr;
}

TGroup* TServer::GetGrp(std::wstring_view name, bool isPublic) const {
  if (isPublic) {
    if (auto& list = Module().PublicGroupList)
      for (auto& g : *list)
        if (SameNameAscii(g->Name(), name)) return g.Get();
    return nullptr;
  }
  for (auto& g : groups_)
    if (SameNameAscii(g->Name(), name)) return g.Get();
  return nullptr;
}

bool TServer::IsGroupNameFree(std::wstring_view name) const { return GetGrp(name, false) == nullptr; }

void TServer::DeleteGroup(TGroup* group) {
  auto it = std::find_if(groups_.begin(), groups_.end(), [&](auto& g) { return g.Get() == group; });
  if (it == groups_.end()) return;
  ComPtr<TGroup> held = std::move(*it);  // released after the list is consistent
  groups_.erase(it);
  --status_.dwGroupCount;
}

void TServer::MoveGroupToPublic(TGroup* group) {
  auto& list = Module().PublicGroupList;
  if (!list) throw std::logic_error("The server is not created");
  list->emplace_back(group);
  DeleteGroup(group);
}

STDMETHODIMP TServer::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
  return EnumConnectionPointsOf(shutdownPoint_.Get(), ppEnum);
}

STDMETHODIMP TServer::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
  return FindConnectionPointIn(shutdownPoint_.Get(), riid, ppCP);
}

}  // namespace quillon
