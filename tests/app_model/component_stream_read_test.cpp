#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "component_stream.h"
#include "stream_builder.h"
#include "tag.h"
#include "tag_manager.h"
#include "test_code_page.h"
#include "tree_dump.h"

namespace opclumbra {
namespace {

using test::StreamBuilder;
using test::TestCodePage;

void Read(const std::vector<std::uint8_t>& stream, TTagManager& manager) {
  ReadComponentStream(stream, manager, TestCodePage());
}

TTag& TagAt(const TNamedItem& owner, std::size_t index) { return static_cast<TTag&>(owner.Child(index)); }

// Several levels, integers of every size, texts of every kind, empty texts.
void BuildRichTree(TTagManager& manager) {
  manager.SetName(u"Plant");
  manager.SetClassID(u"{00000000-1111-2222-3333-444444444444}");
  manager.SetProgID(u"Plant.Server.2");
  manager.SetDescription(u"中文 server");
  manager.SetUpdateRate(250);
  manager.SetPassWord(std::u16string(300, u'p'));
  TTag& area = TTag::Create(manager);
  area.SetName(u"Area1");
  TTag& pump = TTag::Create(area);
  pump.SetName(u"Pump2");
  pump.SetDataType(3);
  TTag& speed = TTag::Create(pump);
  speed.SetName(u"Speed");
  speed.SetTagType(TTag::Leaf);
  speed.SetDataType(1);
  speed.SetInitValue(u"12.5");
  TTag& label = TTag::Create(pump);
  label.SetName(u"Label");
  label.SetTagType(TTag::Leaf);
  label.SetDataType(3);
  label.SetInitValue(u"温度 \U0001F600");
  TTag& flag = TTag::Create(area);
  flag.SetName(u"Flag");
  flag.SetTagType(-200);
  flag.SetDataType(65535);
  TTag& area2 = TTag::Create(manager);
  area2.SetName(u"Area2");
  area2.SetTagType(70000);
  TTag& counter = TTag::Create(area2);
  counter.SetName(u"Speed");
  counter.SetTagType(TTag::Leaf);
  counter.SetInitValue(std::u16string(1000, u'7'));
}

TEST(ComponentStreamRead, SaveThenLoadGivesTheSameTree) {
  TTagManager original;
  BuildRichTree(original);
  auto stream = WriteComponentStream(original, TestCodePage());
  TTagManager loaded;
  Read(stream, loaded);
  EXPECT_EQ(test::StoredDump(loaded), test::StoredDump(original));
  EXPECT_EQ(TagAt(TagAt(TagAt(loaded, 0), 0), 1).NamePath(), u"Area1.Pump2.Label");
  EXPECT_EQ(WriteComponentStream(loaded, TestCodePage()), stream);
}

TEST(ComponentStreamRead, EmptyManagerTextsComeBackAsDefaults) {
  TTagManager original;
  original.SetClassID(u"");
  original.SetProgID(u"");
  original.SetDescription(u"");
  original.SetPassWord(u"");
  TTag::Create(original).SetName(u"T");
  TTagManager loaded;
  Read(WriteComponentStream(original, TestCodePage()), loaded);
  EXPECT_EQ(loaded.ClassID(), DefaultClassID);
  EXPECT_EQ(loaded.ProgID(), u"OPC.Lumbra.1");
  EXPECT_EQ(loaded.Description(), u"OPC Lumbra");
  EXPECT_EQ(loaded.PassWord(), u"MERIDO_cfg");
  ASSERT_EQ(loaded.ChildCount(), 1u);
  EXPECT_EQ(loaded.Child(0).Name(), u"T");
}

TEST(ComponentStreamRead, ChineseInitValueComesBackUnchanged) {
  TTagManager original;
  TTag& tag = TTag::Create(original);
  tag.SetName(u"T");
  tag.SetInitValue(u"整数中文");
  TTagManager loaded;
  Read(WriteComponentStream(original, TestCodePage()), loaded);
  EXPECT_EQ(TagAt(loaded, 0).InitValue(), u"整数中文");
}

TEST(ComponentStreamRead, ReplacesTheWholeTreeAndTakesTheRootName) {
  TTagManager manager;
  TTag::Create(manager).SetName(u"Old");
  manager.SetProgID(u"Old.1");
  Read(StreamBuilder().Signature().Record("TTagManager", "Renamed").End().Record("TTag", "New").End().End().End().Get(),
       manager);
  EXPECT_EQ(manager.Name(), u"Renamed");
  EXPECT_EQ(manager.ProgID(), u"OPC.Lumbra.1");
  ASSERT_EQ(manager.ChildCount(), 1u);
  EXPECT_EQ(manager.Child(0).Name(), u"New");
  EXPECT_EQ(manager.Child(0).Owner(), &manager);
}

TEST(ComponentStreamRead, AbsentPropertiesKeepTheirCreationValues) {
  TTagManager manager;
  Read(StreamBuilder().ManagerHeader().End().Record("TTag", "T").End().End().End().Get(), manager);
  EXPECT_EQ(manager.UpdateRate(), 1000);
  EXPECT_EQ(manager.ClassID(), DefaultClassID);
  TTag& tag = TagAt(manager, 0);
  EXPECT_EQ(tag.DataType(), 0);
  EXPECT_EQ(tag.InitValue(), u"");
  EXPECT_EQ(tag.TagType(), TTag::Branch);
}

TEST(ComponentStreamRead, TheRootClassNameIsSkipped) {
  TTagManager manager;
  Read(StreamBuilder().Signature().Record("TSomethingElse", "Root").End().End().Get(), manager);
  EXPECT_EQ(manager.Name(), u"Root");
}

TEST(ComponentStreamRead, PropertiesInAnyOrderAndNamesInAnyCase) {
  TTagManager manager;
  Read(StreamBuilder()
           .ManagerHeader()
           .String("passWORD", "x")
           .Int8("updaterate", 5)
           .End()
           .Record("ttag", "T")
           .Int8("TAGTYPE", 1)
           .String("initvalue", "v")
           .Int8("datatype", 2)
           .End()
           .End()
           .End()
           .Get(),
       manager);
  EXPECT_EQ(manager.PassWord(), u"x");
  EXPECT_EQ(manager.UpdateRate(), 5);
  TTag& tag = TagAt(manager, 0);
  EXPECT_EQ(tag.TagType(), 1);
  EXPECT_EQ(tag.InitValue(), u"v");
  EXPECT_EQ(tag.DataType(), 2);
}

// Every integer property accepts each integer kind, whatever the value's size.
struct IntegerCase {
  const char* property;
  bool onTag;
  std::function<std::int32_t(const TTagManager&)> get;
};

class IntegerForms : public testing::TestWithParam<IntegerCase> {};

std::vector<std::uint8_t> StreamWithProperty(bool onTag, const std::function<void(StreamBuilder&)>& property) {
  StreamBuilder b;
  b.ManagerHeader();
  if (!onTag) property(b);
  b.End().Record("TTag", "T");
  if (onTag) property(b);
  return b.End().End().End().Get();
}

TEST_P(IntegerForms, EveryIntegerKindIsAccepted) {
  const IntegerCase& c = GetParam();
  const std::vector<std::pair<std::function<void(StreamBuilder&)>, std::int32_t>> forms{
      {[&](StreamBuilder& b) { b.Int8(c.property, 7); }, 7},
      {[&](StreamBuilder& b) { b.Int16(c.property, 7); }, 7},
      {[&](StreamBuilder& b) { b.Int32(c.property, 7); }, 7},
      {[&](StreamBuilder& b) { b.Int16(c.property, 300); }, 300},
      {[&](StreamBuilder& b) { b.Int32(c.property, 65535); }, 65535},
  };
  for (const auto& [form, value] : forms) {
    TTagManager manager;
    Read(StreamWithProperty(c.onTag, form), manager);
    EXPECT_EQ(c.get(manager), value) << c.property;
  }
}

INSTANTIATE_TEST_SUITE_P(
    ComponentStreamRead, IntegerForms,
    testing::Values(IntegerCase{"DataType", true, [](const TTagManager& m) { return TagAt(m, 0).DataType(); }},
                    IntegerCase{"TagType", true, [](const TTagManager& m) { return TagAt(m, 0).TagType(); }},
                    IntegerCase{"UpdateRate", false, [](const TTagManager& m) { return m.UpdateRate(); }}),
    [](const auto& info) { return std::string(info.param.property); });

TEST(ComponentStreamRead, SignedIntegerPropertiesTakeNegativeValues) {
  TTagManager manager;
  Read(StreamBuilder()
           .ManagerHeader()
           .Int32("UpdateRate", INT32_MIN)
           .End()
           .Record("TTag", "T")
           .Int8("TagType", -1)
           .End()
           .End()
           .Record("TTag", "U")
           .Int16("TagType", -300)
           .End()
           .End()
           .End()
           .Get(),
       manager);
  EXPECT_EQ(manager.UpdateRate(), INT32_MIN);
  EXPECT_EQ(TagAt(manager, 0).TagType(), -1);
  EXPECT_EQ(TagAt(manager, 1).TagType(), -300);
}

// Every text property accepts each text kind.
struct TextCase {
  const char* property;
  bool onTag;
  std::function<std::u16string(const TTagManager&)> get;
};

class TextForms : public testing::TestWithParam<TextCase> {};

TEST_P(TextForms, EveryTextKindIsAccepted) {
  const TextCase& c = GetParam();
  const std::vector<std::pair<std::function<void(StreamBuilder&)>, std::u16string>> forms{
      {[&](StreamBuilder& b) { b.String(c.property, "abc"); }, u"abc"},
      {[&](StreamBuilder& b) { b.LongString(c.property, "abc"); }, u"abc"},
      {[&](StreamBuilder& b) { b.Utf8String(c.property, "abc"); }, u"abc"},
      // ANSI bytes of code page 936 in the ANSI kinds, UTF-8 in the UTF-8 kind.
      {[&](StreamBuilder& b) { b.String(c.property, "\xCE\xC2\xB6\xC8"); }, u"温度"},
      {[&](StreamBuilder& b) { b.LongString(c.property, "\xCE\xC2\xB6\xC8"); }, u"温度"},
      {[&](StreamBuilder& b) { b.Utf8String(c.property, "\xE6\xB8\xA9\xE5\xBA\xA6"); }, u"温度"},
      {[&](StreamBuilder& b) { b.String(c.property, ""); }, u""},
      {[&](StreamBuilder& b) { b.LongString(c.property, std::string(70000, 'L')); }, std::u16string(70000, u'L')},
  };
  for (const auto& [form, value] : forms) {
    TTagManager manager;
    Read(StreamWithProperty(c.onTag, form), manager);
    EXPECT_EQ(c.get(manager), value) << c.property;
  }
}

INSTANTIATE_TEST_SUITE_P(
    ComponentStreamRead, TextForms,
    testing::Values(TextCase{"InitValue", true, [](const TTagManager& m) { return TagAt(m, 0).InitValue(); }},
                    TextCase{"ClassID", false, [](const TTagManager& m) { return m.ClassID(); }},
                    TextCase{"ProgID", false, [](const TTagManager& m) { return m.ProgID(); }},
                    TextCase{"Description", false, [](const TTagManager& m) { return m.Description(); }},
                    TextCase{"PassWord", false, [](const TTagManager& m) { return m.PassWord(); }}),
    [](const auto& info) { return std::string(info.param.property); });

}  // namespace
}  // namespace opclumbra
