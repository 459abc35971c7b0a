#pragma once
// The server object: one per connected client, listed in the module's
// ServerList from creation until it is destroyed.
#include <objbase.h>

#include <cstdint>

#include "../api/com_object.h"
#include "../api/quillon.h"

namespace quillon {

class TServer : public ComObject<IUnknown> {
 public:
  TServer();

  ServerHandle Handle() { return static_cast<IUnknown*>(this); }
  uint16_t ServerState() const { return serverState_; }
  void SetServerState(uint16_t state) { serverState_ = state; }
  bool Destroyed() const { return destroyed_; }

  // Destroys the object whatever references clients hold: it leaves the list,
  // the host is told, and COM drops every remote reference, so a client still
  // holding it gets RPC_E_DISCONNECTED and never reaches freed memory.
  void Destroy();

 protected:
  ~TServer() override;

 private:
  void LeaveServerList();

  uint16_t serverState_ = 1;  // OPC_STATUS_RUNNING
  uint16_t majorVersion_, minorVersion_, buildNumber_;
  bool listed_ = false;
  bool destroyed_ = false;
};

}  // namespace quillon
