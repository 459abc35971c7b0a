#include "named_item.h"

#include <algorithm>
#include <stdexcept>

#include "component_name.h"
#include "name_error.h"

namespace opclumbra {

TNamedItem::~TNamedItem() = default;

void TNamedItem::SetName(std::u16string_view name) {
  // Checked before the no-change shortcut: an unnamed component must not accept the empty name.
  if (!IsValidComponentName(name)) throw ENameError(u"'" + std::u16string(name) + u"' is not a valid component name");
  if (name == name_) return;
  std::u16string newName(name);
  if (owner_ != nullptr) {
    auto& siblings = owner_->childrenByName_;
    std::u16string key = FoldName(name);
    auto existing = siblings.find(key);
    // Only a sibling clashes: a change of letter case of the own name is allowed.
    if (existing != siblings.end() && existing->second != this)
      throw ENameError(u"A component named " + newName + u" already exists");
    if (existing == siblings.end()) {
      std::u16string oldKey = FoldName(name_);
      siblings.emplace(std::move(key), this);
      if (!name_.empty()) siblings.erase(oldKey);
    }
  }
  name_.swap(newName);
}

TNamedItem& TNamedItem::Child(std::size_t index) const {
  if (index >= children_.size()) throw std::out_of_range("TNamedItem::Child: index out of range");
  return *children_[index];
}

TNamedItem* TNamedItem::FindChild(std::u16string_view name) const {
  auto it = childrenByName_.find(FoldName(name));
  return it == childrenByName_.end() ? nullptr : it->second;
}

void TNamedItem::DestroyChild(const TNamedItem& child) {
  auto it =
      std::find_if(children_.begin(), children_.end(), [&child](const auto& owned) { return owned.get() == &child; });
  if (it == children_.end()) throw std::invalid_argument("TNamedItem::DestroyChild: not a child of this component");
  if (!child.name_.empty()) childrenByName_.erase(FoldName(child.name_));
  children_.erase(it);
}

std::u16string TNamedItem::NamePath() const {
  std::u16string ownerPath = owner_ != nullptr ? owner_->NamePath() : std::u16string();
  if (ownerPath.empty()) return name_;
  return ownerPath + u"." + name_;
}

TNamedItem& TNamedItem::AppendChild(TNamedItem& owner, std::unique_ptr<TNamedItem> child) {
  child->owner_ = &owner;
  owner.children_.push_back(std::move(child));
  return *owner.children_.back();
}

void TNamedItem::SwapNameAndChildren(TNamedItem& other) noexcept {
  name_.swap(other.name_);
  children_.swap(other.children_);
  childrenByName_.swap(other.childrenByName_);
  for (auto& child : children_) child->owner_ = this;
  for (auto& child : other.children_) child->owner_ = &other;
}

}  // namespace opclumbra
