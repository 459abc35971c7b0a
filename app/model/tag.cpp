#include "tag.h"

#include <memory>

namespace opclumbra {

TTag& TTag::Create(TNamedItem& owner) {
  return static_cast<TTag&>(AppendChild(owner, std::make_unique<TTag>(CreationKey{})));
}

}  // namespace opclumbra
