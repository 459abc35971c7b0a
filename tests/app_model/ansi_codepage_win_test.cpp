// The Windows conversion with code page 936, as the program uses it.
#include "ansi_codepage_win.h"

#include <gtest/gtest.h>

#include "component_stream.h"
#include "stream_builder.h"
#include "tag.h"
#include "tag_manager.h"

namespace opclumbra {
namespace {

TEST(WindowsAnsiCodePage, ConvertsChineseInCodePage936) {
  WindowsAnsiCodePage gbk;
  EXPECT_EQ(gbk.Encode(u"整数 ok"), std::string("\xD5\xFB\xCA\xFD ok"));
  EXPECT_EQ(gbk.Decode("\xCE\xC2\xB6\xC8"), u"温度");
  EXPECT_EQ(gbk.Encode(u""), std::string());
  EXPECT_EQ(gbk.Decode(""), u"");
}

TEST(WindowsAnsiCodePage, ReportsWhatTheCodePageCannotHold) {
  WindowsAnsiCodePage gbk;
  EXPECT_FALSE(gbk.Encode(u"\U0001F600"));  // outside the code page
  EXPECT_FALSE(gbk.Encode(u"\u0E01"));      // Thai: no exact counterpart
  EXPECT_FALSE(gbk.Encode(std::u16string(1, char16_t(0xD800))));
  EXPECT_FALSE(gbk.Decode("\xD5"));  // lead byte without its trail byte
}

TEST(WindowsAnsiCodePage, ReadsAnsiTextsAndRoundTripsChineseThroughTheStream) {
  test::StreamBuilder ansi;
  ansi.ManagerHeader().String("Description", "\xCE\xC2\xB6\xC8").End().End();
  TTagManager manager;
  ReadComponentStream(ansi.Get(), manager, WindowsAnsiCodePage());
  EXPECT_EQ(manager.Description(), u"温度");
  TTag& tag = TTag::Create(manager);
  tag.SetName(u"T");
  tag.SetInitValue(u"整数");
  TTagManager loaded;
  ReadComponentStream(WriteComponentStream(manager, WindowsAnsiCodePage()), loaded, WindowsAnsiCodePage());
  EXPECT_EQ(loaded.Description(), u"温度");
  EXPECT_EQ(static_cast<TTag&>(loaded.Child(0)).InitValue(), u"整数");
}

}  // namespace
}  // namespace opclumbra
