#include "item_id.h"

#include <gtest/gtest.h>

using quillon::JoinItemId;
using quillon::SplitItemId;

TEST(ItemId, SplitsAtTheFirstQualifier) {
  auto s = SplitItemId(L"Tank1.Level.CV", L'.');
  EXPECT_EQ(s.head, L"Tank1");
  ASSERT_TRUE(s.rest);
  EXPECT_EQ(*s.rest, L"Level.CV");
}

TEST(ItemId, NoQualifierMeansNoRest) {
  auto s = SplitItemId(L"Tank1", L'.');
  EXPECT_EQ(s.head, L"Tank1");
  EXPECT_FALSE(s.rest);
}

TEST(ItemId, TrailingQualifierLeavesAnEmptyRest) {
  auto s = SplitItemId(L"Tank1.", L'.');
  EXPECT_EQ(s.head, L"Tank1");
  ASSERT_TRUE(s.rest);
  EXPECT_TRUE(s.rest->empty());
  auto lead = SplitItemId(L".x", L'.');
  EXPECT_TRUE(lead.head.empty());
}

TEST(ItemId, OtherQualifiers) {
  auto s = SplitItemId(L"Tank1.Level/CV", L'/');
  EXPECT_EQ(s.head, L"Tank1.Level");
  EXPECT_EQ(*s.rest, L"CV");
  EXPECT_EQ(JoinItemId(L"Tank1", L'/', L"Level"), L"Tank1/Level");
}
