// The server object's lifetime and the internal steps its groups use.
#include "server.h"

#include <algorithm>

#include "client_gone.h"
#include "error_texts.h"
#include "group.h"
#include "guard.h"
#include "logging.h"

namespace quillon {

TServer::TServer(std::shared_ptr<ModuleState> module) : module_(std::move(module)) {
  const HostPort& host = module_->Host;
  ComGuard(Log(), L"TOPCDASvr.Initialize", E_FAIL, [&] {
    module_->ServerList.push_back(this);
    listed_ = true;
    GetSystemTimeAsFileTime(&status_.ftStartTime);
    status_.dwServerState = OPC_STATUS_RUNNING;
    status_.wMajorVersion = host.MajorVersion;
    status_.wMinorVersion = host.MinorVersion;
    status_.wBuildNumber = host.BuildNumber;
    vendorInfo_ = host.VendorInfo;
    shutdownPoint_ = MakeCom<TConnectionPoint>(
        Log(), static_cast<IConnectionPointContainer*>(this), IID_IOPCShutdown, [this](IUnknown* sink, bool connecting) {
          shutdownSink_ = connecting ? ComPtr<IOPCShutdown>(static_cast<IOPCShutdown*>(sink)) : nullptr;
        });
    return S_OK;
  });
  if (ServerNotifyProc proc = host.Callbacks.serverNotify) proc(Handle(), 0);
}

TServer::~TServer() {
  ComGuard(Log(), L"TOPCDASvr.Destroy", E_FAIL, [&] {
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
  std::erase(module_->ServerList, this);
  if (ServerNotifyProc proc = module_->Host.Callbacks.serverNotify) proc(Handle(), 1);
}

// Groups the client did not remove go with the server: torn down, so a client
// still holding one gets E_FAIL, and cut off from this object.
void TServer::ReleaseGroups() {
  std::vector<ComPtr<TGroup>> groups = groups_.TakeAll();
  status_.dwGroupCount = 0;
  for (auto& g : groups) {
    g->DetachFromServer();
    g->Teardown();
  }
  for (auto& g : module_->PublicGroupList.Groups())
    if (g->Owner() == this) g->DetachFromServer();
}

void TServer::Destroy() {
  if (destroyed_) return;
  ComPtr<TServer> keepAlive(this);
  destroyed_ = true;
  std::vector<ComPtr<TGroup>> groups = groups_.Groups();
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
  Log().LogOperationError(L"Server: the client is gone (" + WidenMessage(ErrorName(hr)) + L" from ShutdownRequest)",
                    L"ClientGone");
}

TGroup* TServer::GetGrp(OPCHANDLE handle, bool isPublic) const {
  return (isPublic ? module_->PublicGroupList : groups_).Find(handle);
}

TGroup* TServer::GetGrp(std::wstring_view name, bool isPublic) const {
  return (isPublic ? module_->PublicGroupList : groups_).Find(name);
}

bool TServer::IsGroupNameFree(std::wstring_view name) const { return !groups_.Contains(name); }

void TServer::DeleteGroup(TGroup* group) {
  if (groups_.Remove(group)) --status_.dwGroupCount;
}

void TServer::MoveGroupToPublic(TGroup* group) {
  module_->PublicGroupList.Add(group);
  DeleteGroup(group);
}

STDMETHODIMP TServer::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
  return EnumConnectionPointsOf(Log(), shutdownPoint_.Get(), ppEnum);
}

STDMETHODIMP TServer::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
  return FindConnectionPointIn(shutdownPoint_.Get(), riid, ppCP);
}

}  // namespace quillon
