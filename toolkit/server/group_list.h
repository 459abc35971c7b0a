#pragma once
// A list of groups: a server object's private groups, or the module's public
// ones. The list holds one reference on each group; groups are found by
// server handle or by name, ASCII letters compared ignoring case.
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "com_ptr.h"
#include "opc_da.h"

namespace quillon {

class TGroup;

class TGroupList {
 public:
  void Add(TGroup* group);
  TGroup* Find(OPCHANDLE handle) const;
  TGroup* Find(std::wstring_view name) const;
  bool Contains(std::wstring_view name) const { return Find(name) != nullptr; }
  // Takes the group out; its reference goes once the list is consistent.
  bool Remove(TGroup* group);
  // Empties the list, handing over its references in order of addition.
  std::vector<ComPtr<TGroup>> TakeAll();
  size_t Size() const { return groups_.size(); }
  const std::vector<ComPtr<TGroup>>& Groups() const { return groups_; }

  // "OPCGROUP" and random digits, as many as it takes to be free here.
  std::wstring NewDefaultName() const;

 private:
  std::vector<ComPtr<TGroup>> groups_;
};

}  // namespace quillon
