#pragma once
// Raised when a component stream cannot be read or written. Offset is the
// position in the stream where the fault lies; the message names it too.
#include <cstddef>
#include <string>

#include "model_error.h"

namespace opclumbra {

class EComponentStreamError : public EModelError {
 public:
  EComponentStreamError(std::u16string_view fault, std::size_t offset);

  std::size_t Offset() const noexcept { return offset_; }

 private:
  std::size_t offset_;
};

}  // namespace opclumbra
