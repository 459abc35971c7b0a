#include "utf8.h"

#include <gtest/gtest.h>

namespace opclumbra {
namespace {

TEST(Utf8, RoundTripsEveryLengthOfSequence) {
  std::u16string text = u"A\u00E9\u6574\U0001F600";
  auto bytes = Utf16ToUtf8(text);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(*bytes, "A\xC3\xA9\xE6\x95\xB4\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8ToUtf16(*bytes), text);
}

TEST(Utf8, LoneSurrogatesAreNotUtf16) {
  EXPECT_FALSE(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))));
  EXPECT_FALSE(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))));
  EXPECT_FALSE(Utf16ToUtf8(u"a" + std::u16string(1, char16_t(0xD83D)) + u"b"));
  EXPECT_EQ(Utf16ToUtf8Lossy(u"a" + std::u16string(1, char16_t(0xD83D))), "a\xEF\xBF\xBD");
}

TEST(Utf8, RefusesIllFormedBytes) {
  for (std::string_view bad : {"\x80", "\xC0\x80", "\xC1\xBF", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                               "\xF5\x80\x80\x80", "\xE6\x95", "\xE6\x41\x41", "\xFF"})
    EXPECT_FALSE(Utf8ToUtf16(bad)) << testing::PrintToString(bad);
  EXPECT_EQ(Utf8ToUtf16("\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
  EXPECT_EQ(Utf8ToUtf16(""), u"");
}

}  // namespace
}  // namespace opclumbra
