#pragma once
// One pending asynchronous transaction of a group: what to read or write, for
// whom, and under which id the client can cancel it.
#include <windows.h>

#include <vector>

#include "opc_da.h"
#include "opc_item.h"
#include "variant.h"

namespace quillon {

class TAsyncData {
 public:
  // Items and, when given, max ages or values, one entry per accepted item.
  TAsyncData(DWORD id, std::vector<TOPCItem*> items, const DWORD* maxAges, const OPCITEMVQT* values);

  DWORD ID() const { return id_; }
  DWORD Count() const { return DWORD(items_.size()); }
  DWORD Source() const { return source_; }
  void SetSource(DWORD source) { source_ = source; }
  bool UseMaxAge() const { return useMaxAge_; }
  void SetUseMaxAge() { useMaxAge_ = true; }

  // Null once the item was removed from the group while this waited.
  TOPCItem* Item(DWORD i) const { return items_[i]; }
  const OPCHANDLE* ClientHandles() const { return clientHandles_.data(); }
  DWORD MaxAge(DWORD i) const { return maxAges_[i]; }
  const VARIANT& Value(DWORD i) const { return values_[i].Get(); }

  // The group took items out of its set: this transaction must not reach them.
  void ForgetDetached();

 private:
  DWORD id_;
  DWORD source_ = OPC_DS_DEVICE;
  bool useMaxAge_ = false;
  std::vector<TOPCItem*> items_;
  std::vector<OPCHANDLE> clientHandles_;
  std::vector<DWORD> maxAges_;
  std::vector<Variant> values_;  // copies, released with the transaction
};

}  // namespace quillon
