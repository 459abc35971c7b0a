#pragma once
// Raised when the configuration file cannot be opened, read or created.
#include "model_error.h"

namespace opclumbra {

class EConfigFileError : public EModelError {
 public:
  using EModelError::EModelError;
};

}  // namespace opclumbra
