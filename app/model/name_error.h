#pragma once
// Raised when a component refuses a name; the component keeps its previous name.
#include "model_error.h"

namespace opclumbra {

class ENameError : public EModelError {
 public:
  using EModelError::EModelError;
};

}  // namespace opclumbra
