#include "tag_manager.h"

#include <utility>

#include "tag.h"

namespace opclumbra {
namespace {

TTag* FindAmongDescendants(const TNamedItem& item, const void* handle) noexcept {
  for (std::size_t i = 0; i < item.ChildCount(); ++i) {
    // Tags are the only components ever created with an owner.
    auto& tag = static_cast<TTag&>(item.Child(i));
    if (tag.Handle() == handle) return &tag;
    if (TTag* found = FindAmongDescendants(tag, handle)) return found;
  }
  return nullptr;
}

}  // namespace

TTagManager::TTagManager()
    : classID_(DefaultClassID),
      progID_(DefaultProgID),
      description_(DefaultDescription),
      updateRate_(DefaultUpdateRate),
      passWord_(DefaultPassWord) {
  SetName(DefaultManagerName);
}

TTag* TTagManager::FindByHandle(const void* handle) const noexcept {
  return handle == nullptr ? nullptr : FindAmongDescendants(*this, handle);
}

void TTagManager::Swap(TTagManager& other) noexcept {
  SwapNameAndChildren(other);
  classID_.swap(other.classID_);
  progID_.swap(other.progID_);
  description_.swap(other.description_);
  std::swap(updateRate_, other.updateRate_);
  passWord_.swap(other.passWord_);
}

}  // namespace opclumbra
