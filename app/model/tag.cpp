#include "tag.h"

#include <memory>

#include "tag_manager.h"

namespace opclumbra {

TTag::~TTag() {
  if (registry_) registry_->ForgetHandle(*this);
}

void TTag::SetHandle(void* value) {
  if (registry_) registry_->ForgetHandle(*this);
  registry_ = nullptr;
  handle_ = value;
  if (!value) return;
  TNamedItem* root = this;
  while (root->Owner()) root = root->Owner();
  if (auto* manager = dynamic_cast<TTagManager*>(root)) {
    manager->RememberHandle(*this);
    registry_ = manager;
  }
}

TTag& TTag::Create(TNamedItem& owner) {
  return static_cast<TTag&>(AppendChild(owner, std::make_unique<TTag>(CreationKey{})));
}

}  // namespace opclumbra
