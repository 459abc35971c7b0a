#pragma once
// A private group of this client, removed from the server again when it goes
// out of scope, and the items added to it.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "com_ptr.h"
#include "opc_da.h"
#include "report.h"

namespace opcclient {

struct GroupItem {
  std::wstring itemId;
  OPCHANDLE server;
  OPCHANDLE client;  // index into the item IDs the items were added from
  VARTYPE canonical;
  DWORD rights;
};

class Group {
 public:
  Group(const quillon::ComPtr<IOPCServer>& server, Reporter& report, DWORD rate, bool active,
        std::optional<float> deadband = std::nullopt);
  Group(const Group&) = delete;
  Group& operator=(const Group&) = delete;
  ~Group();

  // Adds the items, active, with client handles 0..n-1. Items the server
  // refuses are reported and left out.
  std::vector<GroupItem> AddItems(const std::vector<std::wstring>& itemIds, VARTYPE requested = VT_EMPTY);

  template <class I>
  quillon::ComPtr<I> As(const char* what) const {
    quillon::ComPtr<I> i = group_.Query<I>();
    if (!i) {
      report_.Error(std::string("the group has no ") + what + " interface");
      throw Failure{kCallFailed};
    }
    return i;
  }

 private:
  quillon::ComPtr<IOPCServer> server_;
  Reporter& report_;
  quillon::ComPtr<IOPCItemMgt> group_;
  OPCHANDLE handle_ = 0;
  DWORD revisedRate_ = 0;
};

}  // namespace opcclient
