#pragma once
// The data types a tag can have: DataType indexes this table. Each entry has
// the text the tag dialog lists, the VARTYPE the tag is registered with and
// the name used in the initial-value mismatch message.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace opclumbra {

// VARTYPE numbers, spelled out here because the model includes no Windows headers.
namespace vartype {
inline constexpr std::uint16_t Empty = 0;
inline constexpr std::uint16_t I4 = 3;
inline constexpr std::uint16_t R8 = 5;
inline constexpr std::uint16_t Bstr = 8;
inline constexpr std::uint16_t Bool = 11;
}  // namespace vartype

struct DataTypeEntry {
  std::u16string_view listText;  // empty for an undefined index
  std::uint16_t varType;
  std::u16string_view messageName;
};

class DataTypeTable {
 public:
  // The entries offered by the tag dialog, in index order.
  static std::span<const DataTypeEntry> Listed() noexcept;

  // The entry of Index; an index past the listed ones is undefined: no list
  // text, VT_EMPTY and the message name "未定义".
  static const DataTypeEntry& Lookup(std::uint16_t index) noexcept;
};

}  // namespace opclumbra
