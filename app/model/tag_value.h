#pragma once
// The run-time value of a tag, for the types the data type table offers
// (VT_I4, VT_R8, VT_BOOL, VT_BSTR); monostate is the empty value.
#include <cstdint>
#include <string>
#include <variant>

namespace opclumbra {

using TagValue = std::variant<std::monostate, std::int32_t, double, bool, std::u16string>;

}  // namespace opclumbra
