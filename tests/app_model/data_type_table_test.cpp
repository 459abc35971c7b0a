#include "data_type_table.h"

#include <gtest/gtest.h>

namespace opclumbra {
namespace {

TEST(DataTypeTable, ListedEntries) {
  auto listed = DataTypeTable::Listed();
  ASSERT_EQ(listed.size(), 5u);
  struct Expected {
    std::u16string_view listText;
    std::uint16_t varType;
    std::u16string_view messageName;
  };
  const Expected expected[] = {
      {u"整数", 3, u"整数"},     {u"浮点数", 5, u"浮点数"}, {u"布尔量", 11, u"布尔型"},
      {u"字符串", 8, u"字符串"}, {u"无", 0, u"未定义"},
  };
  for (std::uint16_t i = 0; i < 5; ++i) {
    const DataTypeEntry& entry = DataTypeTable::Lookup(i);
    EXPECT_EQ(&entry, &listed[i]);
    EXPECT_EQ(entry.listText, expected[i].listText) << i;
    EXPECT_EQ(entry.varType, expected[i].varType) << i;
    EXPECT_EQ(entry.messageName, expected[i].messageName) << i;
  }
}

TEST(DataTypeTable, AnyOtherIndexIsUndefined) {
  for (std::uint16_t index : {5, 6, 100, 65535}) {
    const DataTypeEntry& entry = DataTypeTable::Lookup(index);
    EXPECT_TRUE(entry.listText.empty()) << index;
    EXPECT_EQ(entry.varType, vartype::Empty) << index;
    EXPECT_EQ(entry.messageName, u"未定义") << index;
  }
}

}  // namespace
}  // namespace opclumbra
