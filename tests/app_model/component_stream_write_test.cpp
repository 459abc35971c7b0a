#include <gtest/gtest.h>

#include <string>

#include "component_stream.h"
#include "component_stream_error.h"
#include "refusing_code_page.h"
#include "stream_builder.h"
#include "tag.h"
#include "tag_manager.h"
#include "test_code_page.h"
#include "tree_dump.h"
#include "utf8.h"

namespace opclumbra {
namespace {

using test::StreamBuilder;
using test::TestCodePage;

std::string DefaultClassIdAscii() { return *Utf16ToUtf8(DefaultClassID); }

std::vector<std::uint8_t> Write(const TTagManager& manager) { return WriteComponentStream(manager, TestCodePage()); }

TEST(ComponentStreamWrite, ExampleStreamByteForByte) {
  TTagManager manager;
  manager.SetPassWord(u"");
  TTag& t1 = TTag::Create(manager);
  t1.SetName(u"T1");
  t1.SetTagType(TTag::Leaf);
  t1.SetDataType(1);
  t1.SetInitValue(u"0.5");
  // One line per part of the stream.
  // clang-format off
  auto expected = StreamBuilder()
                      .Ascii("TPF0")
                      .Byte(0xF4).Byte(0x0B).Ascii("TTagManager").Byte(0x09).Ascii("OPCLumbra")
                      .Byte(0x07).Ascii("ClassID").Byte(0x06).Byte(0x26).Ascii(DefaultClassIdAscii())
                      .Byte(0x06).Ascii("ProgID").Byte(0x06).Byte(0x0C).Ascii("OPC.Lumbra.1")
                      .Byte(0x0B).Ascii("Description").Byte(0x06).Byte(0x0A).Ascii("OPC Lumbra")
                      .Byte(0x0A).Ascii("UpdateRate").Bytes({0x03, 0xE8, 0x03})
                      .Byte(0x00)
                      .Byte(0xF4).Byte(0x04).Ascii("TTag").Byte(0x02).Ascii("T1")
                      .Byte(0x08).Ascii("DataType").Bytes({0x02, 0x01})
                      .Byte(0x09).Ascii("InitValue").Byte(0x06).Byte(0x03).Ascii("0.5")
                      .Byte(0x07).Ascii("TagType").Bytes({0x02, 0x01})
                      .Bytes({0x00, 0x00, 0x00})
                      .Get();
  // clang-format on
  EXPECT_EQ(Write(manager), expected);
}

// The bytes of UpdateRate's value in the stream of a bare manager.
std::vector<std::uint8_t> UpdateRateBytes(std::int32_t rate) {
  TTagManager manager;
  manager.SetClassID(u"");
  manager.SetProgID(u"");
  manager.SetDescription(u"");
  manager.SetPassWord(u"");
  manager.SetUpdateRate(rate);
  auto stream = Write(manager);
  auto header = StreamBuilder().ManagerHeader().Short("UpdateRate").Size();
  EXPECT_EQ(stream.back(), 0x00);
  return {stream.begin() + static_cast<std::ptrdiff_t>(header), stream.end() - 2};
}

TEST(ComponentStreamWrite, IntegersTakeTheSmallestKindThatHoldsThem) {
  using Bytes = std::vector<std::uint8_t>;
  EXPECT_EQ(UpdateRateBytes(1000), (Bytes{0x03, 0xE8, 0x03}));
  EXPECT_EQ(UpdateRateBytes(100), (Bytes{0x02, 0x64}));
  EXPECT_EQ(UpdateRateBytes(70000), (Bytes{0x04, 0x70, 0x11, 0x01, 0x00}));
  EXPECT_EQ(UpdateRateBytes(0), (Bytes{0x02, 0x00}));
  EXPECT_EQ(UpdateRateBytes(127), (Bytes{0x02, 0x7F}));
  EXPECT_EQ(UpdateRateBytes(128), (Bytes{0x03, 0x80, 0x00}));
  EXPECT_EQ(UpdateRateBytes(-128), (Bytes{0x02, 0x80}));
  EXPECT_EQ(UpdateRateBytes(-129), (Bytes{0x03, 0x7F, 0xFF}));
  EXPECT_EQ(UpdateRateBytes(32767), (Bytes{0x03, 0xFF, 0x7F}));
  EXPECT_EQ(UpdateRateBytes(32768), (Bytes{0x04, 0x00, 0x80, 0x00, 0x00}));
  EXPECT_EQ(UpdateRateBytes(-32768), (Bytes{0x03, 0x00, 0x80}));
  EXPECT_EQ(UpdateRateBytes(-32769), (Bytes{0x04, 0xFF, 0x7F, 0xFF, 0xFF}));
  EXPECT_EQ(UpdateRateBytes(INT32_MIN), (Bytes{0x04, 0x00, 0x00, 0x00, 0x80}));
}

TEST(ComponentStreamWrite, EmptyManagerTextsAreOmitted) {
  TTagManager manager;
  manager.SetClassID(u"");
  manager.SetProgID(u"");
  manager.SetDescription(u"");
  manager.SetPassWord(u"");
  auto expected = StreamBuilder().ManagerHeader().Int16("UpdateRate", 1000).End().End().Get();
  EXPECT_EQ(Write(manager), expected);
}

// A manager without texts owning one tag; Configure sets the tag up.
template <class Configure>
std::vector<std::uint8_t> TagStream(Configure configure) {
  TTagManager manager;
  manager.SetClassID(u"");
  manager.SetProgID(u"");
  manager.SetDescription(u"");
  manager.SetPassWord(u"");
  TTag& tag = TTag::Create(manager);
  tag.SetName(u"T");
  configure(tag);
  return Write(manager);
}

StreamBuilder TagHeader() {
  return std::move(StreamBuilder().ManagerHeader().Int16("UpdateRate", 1000).End().Record("TTag", "T"));
}

TEST(ComponentStreamWrite, ChineseTextIsWrittenAsUtf8) {
  auto stream = TagStream([](TTag& tag) { tag.SetInitValue(u"温度"); });
  auto expected = TagHeader()
                      .Int8("DataType", 0)
                      .Utf8String("InitValue", "\xE6\xB8\xA9\xE5\xBA\xA6")
                      .Int8("TagType", 0)
                      .End()
                      .End()
                      .End()
                      .Get();
  EXPECT_EQ(stream, expected);
}

TEST(ComponentStreamWrite, TextThatTheCodePageCannotHoldIsWrittenAsUtf8) {
  auto stream = TagStream([](TTag& tag) { tag.SetInitValue(u"\U0001F600"); });
  auto expected = TagHeader()
                      .Int8("DataType", 0)
                      .Utf8String("InitValue", "\xF0\x9F\x98\x80")
                      .Int8("TagType", 0)
                      .End()
                      .End()
                      .End()
                      .Get();
  EXPECT_EQ(stream, expected);
}

TEST(ComponentStreamWrite, AsciiTextOf256BytesOrMoreIsALongText) {
  std::string short255(255, 'x');
  std::string long256(256, 'y');
  EXPECT_EQ(TagStream([&](TTag& tag) { tag.SetInitValue(std::u16string(short255.begin(), short255.end())); }),
            TagHeader().Int8("DataType", 0).String("InitValue", short255).Int8("TagType", 0).End().End().End().Get());
  EXPECT_EQ(
      TagStream([&](TTag& tag) { tag.SetInitValue(std::u16string(long256.begin(), long256.end())); }),
      TagHeader().Int8("DataType", 0).LongString("InitValue", long256).Int8("TagType", 0).End().End().End().Get());
}

TEST(ComponentStreamWrite, UndefinedDataTypeNeedsThirtyTwoBits) {
  auto stream = TagStream([](TTag& tag) {
    tag.SetDataType(65535);
    tag.SetTagType(TTag::Leaf);
  });
  EXPECT_EQ(stream, TagHeader().Int32("DataType", 65535).Int8("TagType", 1).End().End().End().Get());
}

TEST(ComponentStreamWrite, RunTimeFieldsAreNotStored) {
  int handle = 0;
  auto plain = TagStream([](TTag&) {});
  auto running = TagStream([&](TTag& tag) {
    tag.SetValue(2.5);
    tag.SetQuality(192);
    tag.SetTimeStamp(45000.25);
    tag.SetHandle(&handle);
  });
  EXPECT_EQ(plain, running);
}

TEST(ComponentStreamWrite, ALongNameIsCutTo255Bytes) {
  std::u16string name(300, u'n');
  auto stream = TagStream([&](TTag& tag) { tag.SetName(name); });
  auto expected = StreamBuilder()
                      .ManagerHeader()
                      .Int16("UpdateRate", 1000)
                      .End()
                      .Record("TTag", std::string(255, 'n'))
                      .Int8("DataType", 0)
                      .Int8("TagType", 0)
                      .End()
                      .End()
                      .End()
                      .Get();
  EXPECT_EQ(stream, expected);
  TTagManager loaded;
  ReadComponentStream(stream, loaded, TestCodePage());
  EXPECT_EQ(loaded.Child(0).Name(), std::u16string(255, u'n'));
}

void ExpectWriteRefused(const TTagManager& manager, const AnsiCodePage& codePage, std::string_view messagePart) {
  try {
    WriteComponentStream(manager, codePage);
    ADD_FAILURE() << "written";
  } catch (const EComponentStreamError& e) {
    EXPECT_NE(std::string(e.what()).find(messagePart), std::string::npos) << e.what();
  }
}

TEST(ComponentStreamWrite, RefusesANameTheCodePageCannotRepresent) {
  TTagManager manager;
  ExpectWriteRefused(manager, test::RefusingCodePage(),
                     "Class name 'TTagManager' cannot be represented in the ANSI code page");
}

TEST(ComponentStreamWrite, RefusesTextThatIsNotValidUtf16) {
  TTagManager manager;
  TTag& tag = TTag::Create(manager);
  tag.SetName(u"T");
  tag.SetInitValue(u"a" + std::u16string(1, char16_t(0xD800)));
  ExpectWriteRefused(manager, TestCodePage(), "Property InitValue of 'T' is not valid UTF-16 text");
}

TEST(ComponentStreamWrite, RefusesAnUnnamedTag) {
  TTagManager manager;
  TTag& branch = TTag::Create(manager);
  branch.SetName(u"B");
  TTag::Create(branch);
  ExpectWriteRefused(manager, TestCodePage(), "An unnamed component under 'B' cannot be written");
}

// A chain of Count tags under the manager, each named N<level>.
TTag& Chain(TTagManager& manager, std::size_t count) {
  TNamedItem* owner = &manager;
  TTag* last = nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    last = &TTag::Create(*owner);
    last->SetName(u"N" + std::u16string(1, char16_t(u'0' + i % 10)));
    owner = last;
  }
  return *last;
}

TEST(ComponentStreamWrite, NestingUpToTheLimitRoundTrips) {
  TTagManager manager;
  Chain(manager, MaxComponentDepth - 1).SetInitValue(u"deepest");
  auto stream = Write(manager);
  TTagManager loaded;
  ReadComponentStream(stream, loaded, TestCodePage());
  EXPECT_EQ(test::StoredDump(loaded), test::StoredDump(manager));
}

TEST(ComponentStreamWrite, RefusesATreeNestedDeeperThanTheReaderAccepts) {
  TTagManager manager;
  Chain(manager, MaxComponentDepth);
  ExpectWriteRefused(manager, TestCodePage(), "is nested deeper than 64 levels");
}

}  // namespace
}  // namespace opclumbra
