#include "address_space.h"

#include <stdexcept>

namespace quillon {

AddressSpace::AddressSpace(HostPort& host, int32_t scanRate)
    : context_(std::make_shared<const TagContext>(TagContext{host, scanRate})),
      root_(std::make_shared<TOPCTag>(context_, nullptr, L"ROOT")),
      mutex_(CreateMutexW(nullptr, FALSE, nullptr)) {
  if (!mutex_) throw std::runtime_error("CreateMutex failed");
}

std::shared_ptr<TOPCTag> AddressSpace::ReleaseTree() {
  if (!mutex_) return std::move(root_);
  DWORD wait = WaitForSingleObject(mutex_.Get(), 0);
  if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
    root_.reset();
    return nullptr;
  }
  return std::move(root_);
}

}  // namespace quillon
