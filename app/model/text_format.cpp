#include "text_format.h"

#include <string>

namespace opclumbra {

std::u16string DecimalText(std::int64_t value) {
  auto digits = std::to_string(value);
  return {digits.begin(), digits.end()};
}

std::u16string HexByteText(std::uint8_t value) {
  constexpr char16_t hex[] = u"0123456789ABCDEF";
  return {u'0', u'x', hex[value >> 4], hex[value & 0x0F]};
}

}  // namespace opclumbra
