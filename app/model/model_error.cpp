#include "model_error.h"

#include "utf8.h"

namespace opclumbra {

EModelError::EModelError(std::u16string message) : message_(std::move(message)), utf8_(Utf16ToUtf8Lossy(message_)) {}

}  // namespace opclumbra
