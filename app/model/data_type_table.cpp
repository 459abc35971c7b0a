#include "data_type_table.h"

#include <array>

namespace opclumbra {
namespace {

constexpr std::array<DataTypeEntry, 5> kListed{{
    {u"整数", vartype::I4, u"整数"},
    {u"浮点数", vartype::R8, u"浮点数"},
    {u"布尔量", vartype::Bool, u"布尔型"},
    {u"字符串", vartype::Bstr, u"字符串"},
    {u"无", vartype::Empty, u"未定义"},
}};

constexpr DataTypeEntry kUndefined{u"", vartype::Empty, u"未定义"};

}  // namespace

std::span<const DataTypeEntry> DataTypeTable::Listed() noexcept { return kListed; }

const DataTypeEntry& DataTypeTable::Lookup(std::uint16_t index) noexcept {
  return index < kListed.size() ? kListed[index] : kUndefined;
}

}  // namespace opclumbra
