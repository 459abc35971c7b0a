// Reading and writing through opcclient: group reads from the cache and the
// device, reads by item ID with a maximum age, group writes and WriteVQT, and
// the per-item failures with the server's texts.
#include <regex>

#include "client_fixture.h"

namespace client {
namespace {

class ClientReadWrite : public ClientTest {
 protected:
  // An item failure line: the code must be one of Codes, the text the
  // server's own for it.
  void ExpectItemError(const std::string& line, const std::string& what, std::initializer_list<HRESULT> codes) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, std::regex("opcclient: (.*): 0x([0-9A-F]{8}) (.*)"))) << line;
    EXPECT_EQ(m[1].str(), what);
    HRESULT hr = HRESULT(std::stoul(m[2].str(), nullptr, 16));
    EXPECT_NE(std::find(codes.begin(), codes.end(), hr), codes.end()) << line;
    EXPECT_EQ(m[3].str(), ServerText(hr));
  }
};

TEST_F(ClientReadWrite, GroupReadFromTheCacheShowsValueTypeQualityAndTime) {
  Outcome r = Opc("read", {"Tank1.Level", "Pump", "Name", "Flag", "Tank1.Temp"});
  ASSERT_EQ(r.exitCode, 0u) << r.Errors();
  EXPECT_TRUE(r.err.empty()) << r.Errors();
  ASSERT_EQ(r.out.size(), 5u);
  EXPECT_EQ(WithoutTime(r.out[0]), (Strings{"Tank1.Level", "1.5", "VT_R8", "192 GOOD"}));
  EXPECT_EQ(WithoutTime(r.out[1]), (Strings{"Pump", "7", "VT_I4", "192 GOOD"}));
  // A tab inside a text is escaped, so that the line keeps its five fields.
  EXPECT_EQ(WithoutTime(r.out[2]), (Strings{"Name", "one\\ttwo", "VT_BSTR", "192 GOOD"}));
  EXPECT_EQ(WithoutTime(r.out[3]), (Strings{"Flag", "true", "VT_BOOL", "192 GOOD"}));
  EXPECT_EQ(WithoutTime(r.out[4]), (Strings{"Tank1.Temp", "20", "VT_R4", "192 GOOD"}));
  EXPECT_TRUE(Lines("read ").empty()) << "a cache read reached the device";
}

TEST_F(ClientReadWrite, GroupReadInTheRequestedType) {
  Outcome r = Opc("read", {"Pump", "Tank1.Level", "--type", "BSTR"});
  ASSERT_EQ(r.exitCode, 0u) << r.Errors();
  ASSERT_EQ(r.out.size(), 2u);
  EXPECT_EQ(WithoutTime(r.out[0]), (Strings{"Pump", "7", "VT_BSTR", "192 GOOD"}));
  EXPECT_EQ(WithoutTime(r.out[1]), (Strings{"Tank1.Level", "1.5", "VT_BSTR", "192 GOOD"}));
}

TEST_F(ClientReadWrite, GroupReadFromTheDevice) {
  Outcome r = Opc("read", {"Pump", "--device"});
  ASSERT_EQ(r.exitCode, 0u) << r.Errors();
  ASSERT_EQ(r.out.size(), 1u);
  // The host's device answers the number of device reads so far.
  EXPECT_EQ(WithoutTime(r.out[0]), (Strings{"Pump", "1", "VT_I4", "192 GOOD"}));
  EXPECT_EQ(Lines("read "), Strings{"read Pump"});
}

TEST_F(ClientReadWrite, ReadByItemIdHonoursTheMaximumAge) {
  Outcome cached = Opc("itemread", {"Pump", "Tank1.Level"});
  ASSERT_EQ(cached.exitCode, 0u) << cached.Errors();
  ASSERT_EQ(cached.out.size(), 2u);
  EXPECT_EQ(WithoutTime(cached.out[0]), (Strings{"Pump", "7", "VT_I4", "192 GOOD"}));
  EXPECT_EQ(WithoutTime(cached.out[1]), (Strings{"Tank1.Level", "1.5", "VT_R8", "192 GOOD"}));
  EXPECT_TRUE(Lines("read ").empty());

  Outcome fresh = Opc("itemread", {"Pump", "--max-age", "0"});
  ASSERT_EQ(fresh.exitCode, 0u) << fresh.Errors();
  ASSERT_EQ(fresh.out.size(), 1u);
  EXPECT_EQ(WithoutTime(fresh.out[0]), (Strings{"Pump", "1", "VT_I4", "192 GOOD"}));
  EXPECT_EQ(Lines("read "), Strings{"read Pump"});
}

TEST_F(ClientReadWrite, UnknownItemGivesTheServersTextAndExitCodeFour) {
  Outcome r = Opc("read", {"Pump", "Nope.Item"});
  EXPECT_EQ(r.exitCode, 4u);
  ASSERT_EQ(r.out.size(), 1u);
  EXPECT_EQ(WithoutTime(r.out[0]), (Strings{"Pump", "7", "VT_I4", "192 GOOD"}));
  ASSERT_EQ(r.err.size(), 1u) << r.Errors();
  ExpectItemError(r.err[0], "Nope.Item", {OPC_E_UNKNOWNITEMID, OPC_E_INVALIDITEMID});

  r = Opc("itemread", {"Nope.Item", "Pump"});
  EXPECT_EQ(r.exitCode, 4u);
  ASSERT_EQ(r.out.size(), 1u);
  EXPECT_EQ(WithoutTime(r.out[0]), (Strings{"Pump", "7", "VT_I4", "192 GOOD"}));
  ASSERT_EQ(r.err.size(), 1u) << r.Errors();
  ExpectItemError(r.err[0], "Nope.Item", {OPC_E_UNKNOWNITEMID, OPC_E_INVALIDITEMID});

  r = Opc("read", {"Nope.Item"});
  EXPECT_EQ(r.exitCode, 4u);
  EXPECT_TRUE(r.out.empty());
}

TEST_F(ClientReadWrite, GroupWriteConvertsToTheCanonicalType) {
  Outcome r = Opc("write", {"Pump", "42", "Tank1.Level", "2.25"});
  ASSERT_EQ(r.exitCode, 0u) << r.Errors();
  EXPECT_EQ(r.out, (Strings{"Pump\tOK", "Tank1.Level\tOK"}));
  EXPECT_EQ(Lines("write "), (Strings{"write Pump 3 42", "write Tank1.Level 5 2.25"}));
}

TEST_F(ClientReadWrite, WriteThenReadBack) {
  // The host takes the written values as its new data.
  ASSERT_TRUE(host_->Command("writeback on"));
  Outcome w = Opc("write", {"Pump", "42", "Flag", "false"});
  ASSERT_EQ(w.exitCode, 0u) << w.Errors();
  Outcome r = Opc("read", {"Pump", "Flag"});
  ASSERT_EQ(r.exitCode, 0u) << r.Errors();
  ASSERT_EQ(r.out.size(), 2u);
  EXPECT_EQ(WithoutTime(r.out[0]), (Strings{"Pump", "42", "VT_I4", "192 GOOD"}));
  EXPECT_EQ(WithoutTime(r.out[1]), (Strings{"Flag", "false", "VT_BOOL", "192 GOOD"}));

  w = Opc("itemwrite", {"Pump", "43", "--type", "I4"});
  ASSERT_EQ(w.exitCode, 0u) << w.Errors();
  EXPECT_EQ(w.out, Strings{"Pump\tOK"});
  r = Opc("itemread", {"Pump"});
  ASSERT_EQ(r.out.size(), 1u) << r.Errors();
  EXPECT_EQ(WithoutTime(r.out[0]), (Strings{"Pump", "43", "VT_I4", "192 GOOD"}));
}

TEST_F(ClientReadWrite, WriteVqtPassesTheValueInTheGivenType) {
  Outcome r = Opc("itemwrite", {"Pump", "44", "--type", "R8"});
  ASSERT_EQ(r.exitCode, 0u) << r.Errors();
  EXPECT_EQ(r.out, Strings{"Pump\tOK"});
  r = Opc("itemwrite", {"Tank1.Level", "3.5"});
  ASSERT_EQ(r.exitCode, 0u) << r.Errors();
  auto writes = Lines("write ");
  ASSERT_EQ(writes.size(), 2u);
  // The server hands its host the value in the item's canonical type.
  EXPECT_EQ(writes[0], "write Pump 3 44");
  EXPECT_EQ(writes[1], "write Tank1.Level 5 3.5");
}

TEST_F(ClientReadWrite, TextThatDoesNotConvertIsAnItemFailure) {
  Outcome r = Opc("write", {"Pump", "plenty", "Tank1.Level", "1.25"});
  EXPECT_EQ(r.exitCode, 4u);
  EXPECT_EQ(r.out, Strings{"Tank1.Level\tOK"});
  ASSERT_EQ(r.err.size(), 1u) << r.Errors();
  EXPECT_EQ(r.err[0].rfind("opcclient: Pump: cannot convert \"plenty\" to VT_I4: 0x80020005", 0), 0u) << r.err[0];
  EXPECT_EQ(Lines("write "), Strings{"write Tank1.Level 5 1.25"});

  r = Opc("itemwrite", {"Pump", "1e999", "--type", "R8"});
  EXPECT_EQ(r.exitCode, 4u);
  EXPECT_TRUE(r.out.empty());
}

TEST_F(ClientReadWrite, WritingAReadOnlyItemFails) {
  Outcome r = Opc("write", {"Tank1.Temp", "21"});
  EXPECT_EQ(r.exitCode, 4u);
  EXPECT_TRUE(r.out.empty());
  ASSERT_EQ(r.err.size(), 1u) << r.Errors();
  ExpectItemError(r.err[0], "Tank1.Temp", {OPC_E_BADRIGHTS});
  EXPECT_TRUE(Lines("write ").empty());
}

class ClientText : public ClientTest {
 protected:
  std::vector<std::string> Tags() const override { return {"Text 8 3 caf\xC3\xA9"}; }
};

TEST_F(ClientText, TextIsPrintedAsUtf8) {
  // The host widens every (signed) byte of its tag file to one character, so
  // the text holds U+FFC3 U+FFA9: characters no ANSI code page has, whose
  // UTF-8 is EF BF 83 EF BE A9.
  Outcome r = Opc("read", {"Text"});
  ASSERT_EQ(r.exitCode, 0u) << r.Errors();
  ASSERT_EQ(r.out.size(), 1u);
  EXPECT_EQ(WithoutTime(r.out[0]), (Strings{"Text", "caf\xEF\xBF\x83\xEF\xBE\xA9", "VT_BSTR", "192 GOOD"}));
}

}  // namespace
}  // namespace client
