#include "async_data.h"

namespace quillon {

TAsyncData::TAsyncData(DWORD id, std::vector<TOPCItem*> items, const DWORD* maxAges, const OPCITEMVQT* values)
    : id_(id), items_(std::move(items)) {
  const size_t n = items_.size();
  clientHandles_.reserve(n);
  for (TOPCItem* item : items_) clientHandles_.push_back(item->ClientHandle());
  maxAges_.assign(n, 0xFFFFFFFF);
  if (maxAges) maxAges_.assign(maxAges, maxAges + n);
  values_.resize(n);
  if (values)
    for (size_t i = 0; i < n; ++i) values_[i].Copy(values[i].vDataValue);
}

void TAsyncData::ForgetDetached() {
  for (auto& p : items_)
    if (p && p->Detached()) p = nullptr;
}

}  // namespace quillon
