#include <gtest/gtest.h>

#include <string>

#include "component_stream.h"
#include "component_stream_error.h"
#include "stream_builder.h"
#include "tag.h"
#include "tag_manager.h"
#include "test_code_page.h"
#include "tree_dump.h"

namespace opclumbra {
namespace {

using test::StreamBuilder;
using test::TestCodePage;

// A manager that is not in its creation state, with tags that are registered
// and hold values, so that any change by a failed load would show.
void Prepare(TTagManager& manager, int& handle) {
  manager.SetName(u"Before");
  manager.SetProgID(u"Before.1");
  manager.SetUpdateRate(42);
  TTag& branch = TTag::Create(manager);
  branch.SetName(u"B");
  TTag& leaf = TTag::Create(branch);
  leaf.SetName(u"L");
  leaf.SetTagType(TTag::Leaf);
  leaf.SetValue(3.5);
  leaf.SetQuality(192);
  leaf.SetTimeStamp(45000.5);
  leaf.SetHandle(&handle);
}

struct Hostile {
  std::string name;
  std::vector<std::uint8_t> stream;
  std::size_t offset;
  std::string messagePart;
};

void PrintTo(const Hostile& h, std::ostream* os) { *os << h.name; }

// The manager's record up to its properties, and how long that is.
StreamBuilder Header() { return std::move(StreamBuilder().ManagerHeader()); }
const std::size_t kHeader = StreamBuilder().ManagerHeader().Size();
// The manager's record with its properties closed, ready for children.
StreamBuilder Open() { return std::move(Header().End()); }
const std::size_t kOpen = kHeader + 1;

std::vector<std::uint8_t> Bytes(std::initializer_list<std::uint8_t> b) { return b; }

std::vector<std::uint8_t> Nested(std::size_t tags) {
  StreamBuilder b = Open();
  for (std::size_t i = 0; i < tags; ++i) b.Record("TTag", "N").End();
  for (std::size_t i = 0; i <= tags; ++i) b.End();
  return b.Get();
}

// Deep nesting with no end: only prefixes and headers, as an attacker would send.
std::vector<std::uint8_t> UnboundedNesting(std::size_t tags) {
  StreamBuilder b = Open();
  for (std::size_t i = 0; i < tags; ++i) b.Record("TTag", "N").End();
  return b.Get();
}

std::vector<Hostile> HostileStreams() {
  const std::size_t tagRecord = kOpen + StreamBuilder().Record("TTag", "T").Size();
  std::vector<Hostile> cases{
      {"Empty", {}, 0, "signature \"TPF0\" expected"},
      {"ShortSignature", Bytes({'T', 'P', 'F'}), 0, "signature"},
      {"WrongSignature", StreamBuilder().Ascii("TPF1").Record("TTagManager", "M").End().End().Get(), 0, "signature"},
      {"SignatureOnly", StreamBuilder().Signature().Get(), 4, "end of stream"},
      {"NoInlineFlag", StreamBuilder().Signature().Byte(0xF0).Short("TTagManager").Short("M").End().End().Get(), 4,
       "found 0xF0"},
      {"NoPrefix", StreamBuilder().Signature().Short("TTagManager").Short("M").End().End().Get(), 4, "found 0x0B"},
      {"ClassNameCut", StreamBuilder().Signature().Prefix().Byte(11).Ascii("TTag").Get(), 6, "end of stream"},
      {"RootNameNotIdentifier", StreamBuilder().Signature().Record("TTagManager", "1abc").End().End().Get(), 17,
       "'1abc' is not a valid component name"},
      {"RootNameEmpty", StreamBuilder().Signature().Record("TTagManager", "").End().End().Get(), 17,
       "'' is not a valid component name"},
      {"RootNameNotInCodePage",
       StreamBuilder().Signature().Prefix().Short("TTagManager").Short("\x80").End().End().Get(), 17,
       "Not valid text of the ANSI code page"},
      {"UnknownProperty", Header().Int8("Colour", 1).End().End().Get(), kHeader,
       "Property 'Colour' does not exist in TTagManager 'OPCLumbra'"},
      {"TagPropertyOnManager", Header().Int8("DataType", 1).End().End().Get(), kHeader, "'DataType' does not exist"},
      {"ManagerPropertyOnTag", Open().Record("TTag", "T").String("ProgID", "x").End().End().End().Get(), tagRecord,
       "Property 'ProgID' does not exist in TTag 'T'"},
      {"BadValueKind", Header().Short("UpdateRate").Byte(0x07).Byte(1).End().End().Get(), kHeader + 11,
       "Invalid value kind 0x07 for property 'UpdateRate'"},
      {"ZeroValueKind", Header().Short("ProgID").Byte(0x00).End().End().Get(), kHeader + 7, "Invalid value kind 0x00"},
      {"TextForInteger", Header().String("UpdateRate", "1000").End().End().Get(), kHeader + 11,
       "Integer expected for property 'UpdateRate' of TTagManager 'OPCLumbra', found text kind 0x06"},
      {"IntegerForText", Header().Int8("ProgID", 1).End().End().Get(), kHeader + 7,
       "Text expected for property 'ProgID'"},
      {"DataTypeTooLarge", Open().Record("TTag", "T").Int32("DataType", 65536).End().End().End().Get(), tagRecord + 9,
       "Value 65536 out of range 0 to 65535 for property 'DataType' of TTag 'T'"},
      {"DataTypeNegative", Open().Record("TTag", "T").Int8("DataType", -1).End().End().End().Get(), tagRecord + 9,
       "Value -1 out of range"},
      {"HugeLongText", Header().Short("ProgID").Byte(0x0C).U32(0xFFFFFFFF).Ascii("abc").Get(), kHeader + 12,
       "(4294967295 bytes needed, 3 remain)"},
      {"HugeUtf8Text", Header().Short("ProgID").Byte(0x14).U32(0x7FFFFFFF).End().End().Get(), kHeader + 12,
       "end of stream"},
      {"TextLongerThanStream", Header().Short("ProgID").Byte(0x06).Byte(200).Ascii("abc").Get(), kHeader + 9,
       "end of stream"},
      {"IntegerCut", Header().Short("UpdateRate").Byte(0x04).Byte(0xE8).Byte(0x03).Get(), kHeader + 12,
       "(4 bytes needed, 2 remain)"},
      {"PropertyNameCut", Header().Byte(20).Ascii("Upd").Get(), kHeader + 1, "end of stream"},
      {"OverlongUtf8", Header().Utf8String("ProgID", "\xC0\x80").End().End().Get(), kHeader + 8,
       "Invalid UTF-8 in property 'ProgID'"},
      {"Utf8Surrogate", Header().Utf8String("ProgID", "\xED\xA0\x80").End().End().Get(), kHeader + 8, "Invalid UTF-8"},
      {"Utf8Cut", Header().Utf8String("ProgID", "\xE6\x95").End().End().Get(), kHeader + 8, "Invalid UTF-8"},
      {"AnsiLeadByteAlone", Header().String("ProgID", "ab\xD5").End().End().Get(), kHeader + 8,
       "Not valid text of the ANSI code page: property 'ProgID'"},
      {"AnsiUnknownPair", Header().LongString("ProgID", "\x81\x30").End().End().Get(), kHeader + 8,
       "Not valid text of the ANSI code page"},
      {"UnknownClass", Open().Record("TFoo", "T").End().End().End().Get(), kOpen + 1, "Unknown class name 'TFoo'"},
      {"ManagerAsChild", Open().Record("TTagManager", "T").End().End().End().Get(), kOpen + 1,
       "Unknown class name 'TTagManager'"},
      {"ChildNameNotIdentifier", Open().Record("TTag", "a.b").End().End().End().Get(), kOpen + 6,
       "Component name refused: 'a.b' is not a valid component name"},
      {"ChildNameEmpty", Open().Record("TTag", "").End().End().End().Get(), kOpen + 6,
       "Component name refused: '' is not a valid component name"},
      {"ChildNameInChinese", Open().Prefix().Short("TTag").Short("\xCE\xC2\xB6\xC8").End().End().End().Get(), kOpen + 6,
       "is not a valid component name"},
      {"DuplicateSiblings", Open().Record("TTag", "A").End().End().Record("TTag", "a").End().End().End().Get(),
       tagRecord + 8, "Component name refused: A component named a already exists"},
      {"TooDeep", Nested(MaxComponentDepth), kOpen + 9 * (MaxComponentDepth - 1),
       "Components nested deeper than 64 levels"},
      {"FarTooDeepAndUnended", UnboundedNesting(100000), kOpen + 9 * (MaxComponentDepth - 1), "nested deeper"},
      {"ChildWithoutPrefix", Open().Short("TTag").Short("T").End().End().End().Get(), kOpen, "found 0x04"},
      {"ChildrenNotClosed", Open().Record("TTag", "T").End().End().Get(), tagRecord + 2, "end of stream"},
      {"PropertiesNotClosed", Header().Int8("UpdateRate", 5).Get(), kHeader + 13, "end of stream"},
      {"TrailingData", Open().End().Byte(0x00).Get(), kOpen + 1, "Unexpected data after the root component"},
      {"SecondRoot", Open().End().Record("TTagManager", "M").End().End().Get(), kOpen + 1, "Unexpected data"},
  };
  return cases;
}

class HostileStream : public testing::TestWithParam<Hostile> {};

TEST_P(HostileStream, IsRefusedAndLeavesTheManagerAsItWas) {
  const Hostile& h = GetParam();
  TTagManager manager;
  int handle = 0;
  Prepare(manager, handle);
  const std::string before = test::FullDump(manager);
  try {
    ReadComponentStream(h.stream, manager, TestCodePage());
    ADD_FAILURE() << "accepted";
  } catch (const EComponentStreamError& e) {
    EXPECT_EQ(e.Offset(), h.offset) << e.what();
    EXPECT_NE(std::string(e.what()).find(h.messagePart), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("at offset " + std::to_string(h.offset)), std::string::npos) << e.what();
  }
  EXPECT_EQ(test::FullDump(manager), before);
  EXPECT_NE(manager.FindByHandle(&handle), nullptr);
}

// Each name is checked against its siblings in constant time: many siblings
// load in linear time (quadratic checking would take minutes here), and a
// clash between the first and the last is still found.
TEST(ComponentStreamRead, ManySiblingsLoadAndTheirNamesAreStillChecked) {
  constexpr int kSiblings = 100000;
  StreamBuilder b = Open();
  for (int i = 0; i < kSiblings; ++i) b.Record("TTag", "N" + std::to_string(i)).End().End();
  StreamBuilder clash = b;
  b.End();
  TTagManager manager;
  ReadComponentStream(b.Get(), manager, TestCodePage());
  EXPECT_EQ(manager.ChildCount(), static_cast<std::size_t>(kSiblings));
  std::size_t lastRecord = clash.Size();
  clash.Record("TTag", "n0").End().End().End();
  try {
    ReadComponentStream(clash.Get(), manager, TestCodePage());
    ADD_FAILURE() << "accepted";
  } catch (const EComponentStreamError& e) {
    EXPECT_EQ(e.Offset(), lastRecord + 6) << e.what();
  }
  EXPECT_EQ(manager.ChildCount(), static_cast<std::size_t>(kSiblings));
}

INSTANTIATE_TEST_SUITE_P(ComponentStreamRead, HostileStream, testing::ValuesIn(HostileStreams()),
                         [](const auto& info) { return info.param.name; });

// Only the integer kinds for an integer property and only the text kinds for a
// text property: every other tag byte is refused.
TEST(ComponentStreamRead, EveryOtherValueKindIsRefused) {
  for (int kind = 0; kind < 256; ++kind) {
    // Enough payload for any accepted kind: a length of 1 and one byte.
    auto payload = [&](StreamBuilder& b) { b.Byte(static_cast<std::uint8_t>(kind)).Bytes({1, 0, 0, 0, 'x'}); };
    StreamBuilder integer = Header();
    integer.Short("UpdateRate");
    payload(integer);
    StreamBuilder text = Header();
    text.Short("ProgID");
    payload(text);
    bool integerKind = kind == 0x02 || kind == 0x03 || kind == 0x04;
    bool textKind = kind == 0x06 || kind == 0x0C || kind == 0x14;
    for (auto [builder, accepted] : {std::pair{&integer, integerKind}, std::pair{&text, textKind}}) {
      // No stream here is complete: an accepted kind fails later, a refused one at the kind itself.
      TTagManager manager;
      EXPECT_THROW(
          try { ReadComponentStream(builder->Get(), manager, TestCodePage()); } catch (const EComponentStreamError& e) {
            EXPECT_EQ(e.Offset() == builder->Get().size() - 6, !accepted) << kind << ": " << e.what();
            throw;
          },
          EComponentStreamError);
    }
  }
}

}  // namespace
}  // namespace opclumbra
