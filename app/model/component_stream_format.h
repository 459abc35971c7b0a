#pragma once
// The bytes that structure a component stream, shared by its reader and writer.
#include <array>
#include <cstddef>
#include <cstdint>

namespace opclumbra::component_stream {

inline constexpr std::array<std::uint8_t, 4> Signature{'T', 'P', 'F', '0'};

// Record prefix: the flags marker in the high nibble, the inline flag in the low.
inline constexpr std::uint8_t FlagsMarker = 0xF0;
inline constexpr std::uint8_t InlineFlag = 0x04;
inline constexpr std::uint8_t InlinePrefix = FlagsMarker | InlineFlag;

// Closes a record's property list and its list of children.
inline constexpr std::uint8_t EndOfList = 0x00;

// Value kinds.
inline constexpr std::uint8_t Int8 = 0x02;
inline constexpr std::uint8_t Int16 = 0x03;
inline constexpr std::uint8_t Int32 = 0x04;
inline constexpr std::uint8_t String = 0x06;
inline constexpr std::uint8_t LongString = 0x0C;
inline constexpr std::uint8_t Utf8String = 0x14;

inline constexpr std::size_t MaxShortTextLength = 255;

}  // namespace opclumbra::component_stream
