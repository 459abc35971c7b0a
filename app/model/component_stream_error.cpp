#include "component_stream_error.h"

#include "text_format.h"

namespace opclumbra {

EComponentStreamError::EComponentStreamError(std::u16string_view fault, std::size_t offset)
    : EModelError(std::u16string(fault) + u" at offset " + DecimalText(offset)), offset_(offset) {}

}  // namespace opclumbra
