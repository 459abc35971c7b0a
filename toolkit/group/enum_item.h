#pragma once
// The item-attribute enumerator of a group: a snapshot of its items' records.
#include <string>
#include <vector>

#include "com_ptr.h"
#include "logging.h"
#include "opc_da.h"
#include "opc_item.h"

namespace quillon {

// One record of the snapshot; the item ID is kept apart so copies are cheap.
struct ItemRecord {
  std::wstring itemId;
  OPCITEMATTRIBUTES attributes;  // szItemID, szAccessPath null; vEUInfo empty

  static ItemRecord Of(const TOPCItem& item);
};

ComPtr<IEnumOPCItemAttributes> MakeEnumItem(const LogSink& log, std::vector<ItemRecord> records);

}  // namespace quillon
