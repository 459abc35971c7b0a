#include "tag_manager.h"

#include <iterator>
#include <utility>
#include <vector>

#include "tag.h"

namespace opclumbra {
namespace {

// The chain from the root's child down to Item.
std::vector<const TNamedItem*> PathOf(const TNamedItem& item) {
  std::vector<const TNamedItem*> path;
  for (const TNamedItem* i = &item; i->Owner(); i = i->Owner()) path.push_back(i);
  return {path.rbegin(), path.rend()};
}

size_t IndexAmongSiblings(const TNamedItem& item) {
  const TNamedItem& owner = *item.Owner();
  for (size_t i = 0; i < owner.ChildCount(); ++i)
    if (&owner.Child(i) == &item) return i;
  return owner.ChildCount();
}

// Whether A comes before B depth-first in pre-order: an ancestor before its
// descendants, siblings in order.
bool PrecedesInPreOrder(const TNamedItem& a, const TNamedItem& b) {
  const auto pa = PathOf(a), pb = PathOf(b);
  size_t i = 0;
  while (i < pa.size() && i < pb.size() && pa[i] == pb[i]) ++i;
  if (i == pa.size()) return true;
  if (i == pb.size()) return false;
  return IndexAmongSiblings(*pa[i]) < IndexAmongSiblings(*pb[i]);
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

TTagManager::~TTagManager() {
  // The tags outlive this part of the manager: they must not reach back.
  for (auto& entry : byHandle_) entry.second->registry_ = nullptr;
}

void TTagManager::RememberHandle(TTag& tag) { byHandle_.emplace(tag.Handle(), &tag); }

void TTagManager::ForgetHandle(const TTag& tag) noexcept {
  auto [first, last] = byHandle_.equal_range(tag.Handle());
  for (auto it = first; it != last; ++it)
    if (it->second == &tag) {
      byHandle_.erase(it);
      return;
    }
}

TTag* TTagManager::FindByHandle(const void* handle) const noexcept {
  if (handle == nullptr) return nullptr;
  auto [first, last] = byHandle_.equal_range(handle);
  if (first == last) return nullptr;
  TTag* found = first->second;
  for (auto it = std::next(first); it != last; ++it)
    if (PrecedesInPreOrder(*it->second, *found)) found = it->second;
  return found;
}

void TTagManager::Swap(TTagManager& other) noexcept {
  SwapNameAndChildren(other);
  classID_.swap(other.classID_);
  progID_.swap(other.progID_);
  description_.swap(other.description_);
  std::swap(updateRate_, other.updateRate_);
  passWord_.swap(other.passWord_);
  // The tags went with their trees, and their handles go with them.
  byHandle_.swap(other.byHandle_);
  for (auto& entry : byHandle_) entry.second->registry_ = this;
  for (auto& entry : other.byHandle_) entry.second->registry_ = &other;
}

}  // namespace opclumbra
