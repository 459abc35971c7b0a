#include "stream_layout.h"

#include <gtest/gtest.h>

using namespace quillon;

namespace {

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

StreamItem Item(uint32_t handle, uint16_t quality, size_t valueSize = 16) {
  StreamItem item;
  item.clientHandle = handle;
  item.quality = quality;
  item.timeStamp = 0x0102030405060708ULL;
  item.value.assign(valueSize, 0xAB);
  return item;
}

}  // namespace

TEST(StreamLayout, DataWithTimeIsTwentyPlusThirtySixPerItem) {
  auto s = BuildDataStream(true, 77, 0, 0, {Item(1, 0xC0), Item(2, 0x40)});
  ASSERT_EQ(s.size(), 92u);
  EXPECT_EQ(U32(s, 0), 92u);
  EXPECT_EQ(U32(s, 4), 2u);
  EXPECT_EQ(U32(s, 8), 77u);
  EXPECT_EQ(U32(s, 12), 0u);
  EXPECT_EQ(U32(s, 20), 1u);
  EXPECT_EQ(U32(s, 24), 60u);
  EXPECT_EQ(s[28], 0xC0);
  EXPECT_EQ(U32(s, 32), 0x05060708u);
  EXPECT_EQ(U32(s, 36), 0x01020304u);
  EXPECT_EQ(U32(s, 40), 2u);
  EXPECT_EQ(U32(s, 44), 76u);
  EXPECT_EQ(s[60], 0xAB);
  EXPECT_EQ(s[91], 0xAB);
}

TEST(StreamLayout, DataWithoutTimeIsTwentyPlusTwentyEightPerItem) {
  auto s = BuildDataStream(false, 5, 9, 1, {Item(1, 0xC0), Item(2, 0xC0)});
  ASSERT_EQ(s.size(), 76u);
  EXPECT_EQ(U32(s, 0), 76u);
  EXPECT_EQ(U32(s, 12), 9u);
  EXPECT_EQ(U32(s, 16), 1u);
  EXPECT_EQ(U32(s, 24), 44u);
  EXPECT_EQ(U32(s, 36), 60u);
  auto three = BuildDataStream(true, 5, 123, 0, {Item(1, 0), Item(2, 0), Item(3, 0)});
  EXPECT_EQ(three.size(), 128u);
}

TEST(StreamLayout, StringImagesShiftTheLaterOffsets) {
  const char16_t text[] = u"abc";
  StreamItem s1 = Item(1, 0xC0);
  auto image = StringImage(text, 3);
  ASSERT_EQ(image.size(), 4u + 6u + 2u);
  EXPECT_EQ(U32(image, 0), 6u);  // bytes, as a BSTR counts them
  EXPECT_EQ(image[4], 'a');
  EXPECT_EQ(image[10], 0);
  s1.value.insert(s1.value.end(), image.begin(), image.end());
  auto s = BuildDataStream(true, 0, 0, 0, {s1, Item(2, 0xC0)});
  EXPECT_EQ(s.size(), 92u + 12u);
  EXPECT_EQ(U32(s, 0), 104u);
  EXPECT_EQ(U32(s, 24), 60u);
  EXPECT_EQ(U32(s, 44), 60u + 16u + 12u);
}

TEST(StreamLayout, WriteCompleteAndKeepAlive) {
  auto w = BuildWriteCompleteStream(4, 99, {{10, 0}});
  ASSERT_EQ(w.size(), 24u);
  EXPECT_EQ(U32(w, 0), 1u);
  EXPECT_EQ(U32(w, 8), 99u);
  EXPECT_EQ(U32(w, 12), 0u);
  EXPECT_EQ(U32(w, 16), 10u);
  auto bad = BuildWriteCompleteStream(4, 99, {{10, 0}, {11, int32_t(0xC0040006)}});
  EXPECT_EQ(U32(bad, 12), 1u);
  EXPECT_EQ(U32(bad, 28), 0xC0040006u);
  auto k = BuildKeepAliveStream(42);
  ASSERT_EQ(k.size(), 20u);
  EXPECT_EQ(U32(k, 0), 20u);
  EXPECT_EQ(U32(k, 4), 0u);
  EXPECT_EQ(U32(k, 8), 42u);
}
