#pragma once
// Number formatting for UTF-16 messages.
#include <cstdint>
#include <string>

namespace opclumbra {

std::u16string DecimalText(std::int64_t value);

// "0x" and two upper-case hex digits.
std::u16string HexByteText(std::uint8_t value);

}  // namespace opclumbra
