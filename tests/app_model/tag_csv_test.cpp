// The configured tree as CSV: the exact bytes written, the round trip, and
// every problem an import reports, with the manager left as it was.
#include "tag_csv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>

#include "tag.h"
#include "tag_manager.h"
#include "utf8.h"

using namespace opclumbra;

namespace {

// As the program converts initial values, for the types whose texts do not
// depend on the locale: whole numbers, decimal numbers with a point, booleans.
bool ValueFits(std::u16string_view text, std::uint16_t dataType) {
  std::string ascii;
  for (char16_t c : text) ascii += c < 0x80 ? char(c) : '?';
  const char* end = ascii.data() + ascii.size();
  switch (dataType) {
    case 0: {
      std::int32_t v = 0;
      auto r = std::from_chars(ascii.data(), end, v);
      return !ascii.empty() && r.ec == std::errc() && r.ptr == end;
    }
    case 1: {
      double v = 0;
      auto r = std::from_chars(ascii.data(), end, v);
      return !ascii.empty() && r.ec == std::errc() && r.ptr == end;
    }
    case 2: return ascii == "True" || ascii == "False" || ascii == "0" || ascii == "1";
    default: return true;
  }
}

std::string Utf8(std::u16string_view text) { return *Utf16ToUtf8(text); }

const std::string kBom = "\xEF\xBB\xBF";
const std::string kPrologue = kBom +
                              "ClassID,ProgID,Description,UpdateRate\r\n"
                              "{41862EE6-6750-461D-8725-12529099E546},OPC.Lumbra.1,OPC Lumbra,1000\r\n"
                              ",,,\r\n"
                              "ItemID,Kind,DataType,InitialValue\r\n";

// A tree with every kind of field a file can carry.
void Fill(TTagManager& m) {
  m.SetDescription(u"站点 \"A\", 东区");
  m.SetUpdateRate(250);
  TTag& area = TTag::Create(m);
  area.SetName(u"Area1");
  area.SetDataType(4);
  TTag& speed = TTag::Create(area);
  speed.SetName(u"Speed");
  speed.SetTagType(TTag::Leaf);
  speed.SetDataType(1);
  speed.SetInitValue(u"1.5");
  TTag& label = TTag::Create(area);
  label.SetName(u"Label");
  label.SetTagType(TTag::Leaf);
  label.SetDataType(3);
  label.SetInitValue(u"泵, \"二号\"\r\n备用");
  TTag& odd = TTag::Create(m);
  odd.SetName(u"Odd");
  odd.SetTagType(7);
  odd.SetDataType(9);
}

std::vector<CsvProblem> Import(const std::string& bytes, TTagManager& m) { return ImportTagCsv(bytes, m, ValueFits); }

std::string Problems(const std::vector<CsvProblem>& problems) {
  std::string out;
  for (const CsvProblem& p : problems) out += std::to_string(p.line) + " " + Utf8(p.field) + ": " + Utf8(p.message) + "\n";
  return out;
}

}  // namespace

TEST(TagCsv, ExportWritesTheSettingsThenTheTagsInPreOrder) {
  TTagManager m;
  Fill(m);
  const std::string expected = kBom +
                               "ClassID,ProgID,Description,UpdateRate\r\n"
                               "{41862EE6-6750-461D-8725-12529099E546},OPC.Lumbra.1,\"站点 \"\"A\"\", 东区\",250\r\n"
                               ",,,\r\n"
                               "ItemID,Kind,DataType,InitialValue\r\n"
                               "Area1,Branch,无,\r\n"
                               "Area1.Speed,Leaf,浮点数,1.5\r\n"
                               "Area1.Label,Leaf,字符串,\"泵, \"\"二号\"\"\r\n备用\"\r\n"
                               "Odd,#7,#9,\r\n";
  EXPECT_EQ(ExportTagCsv(m), expected);
}

TEST(TagCsv, ExportImportExportIsByteIdenticalAndThePasswordStays) {
  TTagManager original;
  Fill(original);
  const std::string first = ExportTagCsv(original);
  TTagManager imported;
  imported.SetPassWord(u"own secret");
  ASSERT_EQ(Problems(Import(first, imported)), "");
  EXPECT_EQ(ExportTagCsv(imported), first);
  EXPECT_EQ(imported.PassWord(), u"own secret");
  ASSERT_EQ(imported.ChildCount(), 2u);
  const auto& area = static_cast<const TTag&>(imported.Child(0));
  ASSERT_EQ(area.ChildCount(), 2u);
  EXPECT_EQ(static_cast<const TTag&>(area.Child(1)).InitValue(), u"泵, \"二号\"\r\n备用");
}

// What a spreadsheet may make of the file: no byte order mark, LF line
// ends, trailing empty fields dropped, blank lines, other spellings.
TEST(TagCsv, ImportTakesWhatSpreadsheetsWrite) {
  const std::string file =
      "classid,PROGID,description,updaterate\n"
      "{41862EE6-6750-461D-8725-12529099E546},My.Server.1,,500\n"
      "\n"
      "ItemID,Kind,DataType,InitialValue\n"
      "Plant,branch\n"
      "Plant.Count,LEAF,vt_i4,42\n"
      "Plant.On,Leaf,布尔量,True\n"
      ",,,\n";
  TTagManager m;
  ASSERT_EQ(Problems(Import(file, m)), "");
  EXPECT_EQ(m.ProgID(), u"My.Server.1");
  EXPECT_EQ(m.Description(), u"");
  EXPECT_EQ(m.UpdateRate(), 500);
  ASSERT_EQ(m.ChildCount(), 1u);
  const auto& plant = static_cast<const TTag&>(m.Child(0));
  ASSERT_EQ(plant.ChildCount(), 2u);
  const auto& count = static_cast<const TTag&>(plant.Child(0));
  EXPECT_EQ(count.TagType(), TTag::Leaf);
  EXPECT_EQ(count.DataType(), 0);
  EXPECT_EQ(count.InitValue(), u"42");
  EXPECT_EQ(static_cast<const TTag&>(plant.Child(1)).DataType(), 2);
}

// Every problem is reported with its line and field, and nothing changes.
TEST(TagCsv, ImportReportsEveryProblemAndLeavesTheConfigurationAlone) {
  const std::string file = kBom +
                           "ClassID,ProgID,Description,UpdateRate\r\n"
                           "{not-a-guid},OPC.Lumbra.1,x,fast\r\n"
                           ",,,\r\n"
                           "ItemID,Kind,DataType,InitialValue\r\n"
                           "A,Branch,无,\r\n"
                           "A.1st,Leaf,整数,1\r\n"        // line 6: a name starting with a digit
                           "A.T,Leaf,Decimal,1\r\n"       // 7: unknown type
                           "A.N,Leaf,整数,12.5\r\n"       // 8: not a whole number
                           "A.N2,Leaf,整数,3\r\n"
                           "a.n2,Leaf,整数,4\r\n"          // 10: the same ID ignoring case
                           "A.N2.Deeper,Leaf,整数,5\r\n"  // 11: under a leaf
                           "B.C,Leaf,整数,6\r\n"          // 12: no parent
                           "A.K,Pipe,整数,7\r\n"          // 13: unknown kind
                           "A.E,Leaf,整数,8,extra\r\n";   // 14: a fifth field
  TTagManager m;
  Fill(m);
  const std::string before = ExportTagCsv(m);
  const std::string problems = Problems(Import(file, m));
  EXPECT_EQ(ExportTagCsv(m), before);
  for (const char* expected :
       {"2 ClassID: [ {not-a-guid} ] is not a class ID", "2 UpdateRate: [ fast ] is not a whole number",
        "6 ItemID: [ 1st ] in [ A.1st ] is not a valid name", "7 DataType: [ Decimal ] is not a data type",
        "8 InitialValue: [ 12.5 ] is not a value of the type 整数", "10 ItemID: [ a.n2 ] is defined twice",
        "11 ItemID: [ A.N2 ] (line 9) is a leaf and cannot have children",
        "12 ItemID: the parent [ B ] of [ B.C ] is not defined on an earlier line",
        "13 Kind: [ Pipe ] is not a kind", "14 : the line has more than four fields"})
    EXPECT_NE(problems.find(expected), std::string::npos) << expected << "\nin:\n" << problems;
  EXPECT_EQ(std::count(problems.begin(), problems.end(), '\n'), 10) << problems;
}

TEST(TagCsv, FilesThatAreNoCsvOfTheTreeAreRefusedWithTheirLine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "1 : the first line must be ClassID,ProgID,Description,UpdateRate\n"},
      {"Name,Value\r\n", "1 : the first line must be ClassID,ProgID,Description,UpdateRate\n"},
      {"ClassID,ProgID,Description,UpdateRate\r\n", "2 : the server's settings are missing\n"},
      {kPrologue + "A,Branch,无,\"open\r\nB,Leaf,整数,1\r\n", "5 : a quoted field is not closed\n"},
      {kPrologue + "A,Branch,\xFF,\r\n", "5 : the line is not UTF-8 text\n"},
      {kPrologue.substr(0, kPrologue.size() - std::string("ItemID,Kind,DataType,InitialValue\r\n").size()) +
           "Tag,Kind,Type,Value\r\n",
       "4 : the tags must start with the line ItemID,Kind,DataType,InitialValue\n"},
  };
  for (const auto& [file, expected] : cases) {
    TTagManager m;
    Fill(m);
    const std::string before = ExportTagCsv(m);
    EXPECT_EQ(Problems(Import(file, m)), expected) << file;
    EXPECT_EQ(ExportTagCsv(m), before);
  }
}

// The tree the run command serves when there is no configuration yet: it
// imports as it stands, in the exporter's own bytes.
TEST(TagCsv, TheDemoTreeImportsAndExportsAsItStands) {
  std::ifstream in(DEMO_CSV, std::ios::binary);
  ASSERT_TRUE(in) << DEMO_CSV;
  const std::string demo((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  TTagManager m;
  ASSERT_EQ(Problems(Import(demo, m)), "");
  EXPECT_EQ(ExportTagCsv(m), demo);
  EXPECT_GE(m.ChildCount(), 2u);
}
