#include "server.h"

#include <algorithm>

#include "../api/module_state.h"

namespace quillon {

TServer::TServer() {
  ModuleState& m = Module();
  majorVersion_ = m.MajorVersion;
  minorVersion_ = m.MinorVersion;
  buildNumber_ = m.BuildNumber;
  if (m.ServerList) {
    m.ServerList->push_back(this);
    listed_ = true;
  }
  if (ServerNotifyProc proc = m.Callbacks.serverNotify) proc(Handle(), 0);
}

TServer::~TServer() { LeaveServerList(); }

void TServer::LeaveServerList() {
  if (!listed_) return;
  listed_ = false;
  ModuleState& m = Module();
  if (m.ServerList) std::erase(*m.ServerList, this);
  if (ServerNotifyProc proc = m.Callbacks.serverNotify) proc(Handle(), 1);
}

void TServer::Destroy() {
  if (destroyed_) return;
  ComPtr<TServer> keepAlive(this);
  destroyed_ = true;
  LeaveServerList();
  CoDisconnectObject(static_cast<IUnknown*>(this), 0);
}

}  // namespace quillon
