#pragma once
// The tag tree of one server: its root, and the mutex that serialises
// removing tags with walks of the tree (browsing, property walks).
#include <windows.h>

#include <memory>
#include <string_view>

#include "opc_tag.h"
#include "unique_handle.h"

namespace quillon {

// How long a walk or a removal waits for the mutex before it gives up.
constexpr DWORD kAddressSpaceWaitMs = 1000;

class AddressSpace {
 public:
  AddressSpace(HostPort& host, int32_t scanRate);
  AddressSpace(const AddressSpace&) = delete;
  AddressSpace& operator=(const AddressSpace&) = delete;

  // Null once the tree is released.
  TOPCTag* Root() const { return root_.get(); }
  // The tag an item ID names, or nullptr.
  TOPCTag* Find(std::wstring_view itemId) const { return root_ ? root_->FindByItemId(itemId) : nullptr; }
  // Null once closed: a wait on it then fails, so walks and removals refuse.
  HANDLE Mutex() const { return mutex_.Get(); }
  HostPort& Host() const { return context_->host; }
  int32_t ScanRate() const { return context_->scanRate; }

  // Destroys the tree if no walk or removal holds the mutex now (which is
  // then kept, never released); otherwise the tree is handed back whole
  // rather than pulled from under that thread.
  std::shared_ptr<TOPCTag> ReleaseTree();
  void CloseMutex() { mutex_.Reset(); }

 private:
  std::shared_ptr<const TagContext> context_;
  std::shared_ptr<TOPCTag> root_;
  UniqueHandle mutex_;
};

}  // namespace quillon
