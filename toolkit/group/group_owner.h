#pragma once
// What a group asks of the server object that made it. The server implements
// it; the group never sees the server's own class.
#include <objbase.h>

#include <string_view>

#include "opc_da.h"
#include "quillon.h"

namespace quillon {

class TGroup;

class GroupOwner {
 public:
  // The identity the host's item notifications carry.
  virtual ServerHandle Handle() = 0;
  // The server's own interface, for cloning a group through AddGroup.
  virtual IOPCServer* ComServer() = 0;
  virtual bool IsGroupNameFree(std::wstring_view name) const = 0;
  virtual bool HasPublicGroupNamed(std::wstring_view name) const = 0;
  // Hands the server's reference on the group to the public list.
  virtual void MoveGroupToPublic(TGroup* group) = 0;
  // Takes the group out of the private list, dropping the server's reference.
  virtual void DeleteGroup(TGroup* group) = 0;
  // A group sent data: the server's status shows the time.
  virtual void MarkUpdated(const FILETIME& when) = 0;
  // A sink of the group failed as only a gone client's can: the server
  // object is reclaimed, with its groups.
  virtual void ReclaimClient() = 0;

 protected:
  ~GroupOwner() = default;
};

}  // namespace quillon
