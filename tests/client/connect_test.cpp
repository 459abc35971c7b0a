// The command line, finding and connecting to servers, the server list and
// the status.
#include <ctime>

#include "client_fixture.h"

namespace client {
namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ClientUsage, HelpPrintsUsageAndTheExitCodes) {
  Outcome r = RunClient({"--help"});
  ASSERT_EQ(r.exitCode, 0u) << r.Errors();
  ASSERT_FALSE(r.out.empty());
  EXPECT_EQ(r.out[0], "Usage: opcclient COMMAND [SERVER] [ARGUMENTS] [OPTIONS]");
  std::string all;
  for (const auto& l : r.out) all += l + "\n";
  for (const char* part : {"  2  cannot connect", "  4  the calls succeeded but some item", "subscribe SERVER ITEM"})
    EXPECT_TRUE(Contains(all, part)) << part;
}

TEST(ClientUsage, VersionPrintsTheOneVersionOfTheBuild) {
  Outcome r = RunClient({"--version"});
  ASSERT_EQ(r.exitCode, 0u) << r.Errors();
  EXPECT_EQ(r.out, Strings{"opcclient " QUILLON_VERSION});
}

TEST(ClientUsage, BadCommandLinesExitWithOne) {
  const std::vector<std::pair<Strings, std::string>> cases = {
      {{}, "no command"},
      {{"fetch", "X"}, "unknown command fetch"},
      {{"status"}, "no server given"},
      {{"read", "X"}, "no item given"},
      {{"write", "X", "Pump"}, "write wants pairs of ITEM VALUE"},
      {{"read", "X", "Pump", "--type", "NOTATYPE"}, "unknown VARIANT type NOTATYPE"},
      {{"read", "X", "Pump", "--bogus"}, "unknown option --bogus"},
      {{"itemwrite", "X", "Pump", "1", "--timestamp", "yesterday"}, "--timestamp wants"},
      {{"subscribe", "X", "Pump", "--rate"}, "--rate wants a value"},
  };
  for (const auto& [args, message] : cases) {
    Outcome r = RunClient(args);
    EXPECT_EQ(r.exitCode, 1u) << ::testing::PrintToString(args);
    EXPECT_TRUE(r.out.empty()) << ::testing::PrintToString(args);
    ASSERT_EQ(r.err.size(), 1u) << ::testing::PrintToString(args);
    EXPECT_TRUE(Contains(r.err[0], "opcclient: " + message)) << r.err[0];
  }
}

TEST(ClientConnect, UnknownProgIdExitsWithTwo) {
  Outcome r = RunClient({"status", "Quillon.NoSuchServer.1"});
  EXPECT_EQ(r.exitCode, 2u);
  EXPECT_TRUE(r.out.empty());
  ASSERT_EQ(r.err.size(), 1u) << r.Errors();
  // CO_E_CLASSSTRING: no such ProgID in the registry.
  EXPECT_TRUE(Contains(r.err[0], "opcclient: unknown ProgID Quillon.NoSuchServer.1: 0x800401F3")) << r.err[0];
}

TEST(ClientConnect, ClassIdNobodyServesExitsWithTwo) {
  Outcome r = RunClient({"status", e2e::ClassId::New().text});
  EXPECT_EQ(r.exitCode, 2u);
  ASSERT_EQ(r.err.size(), 1u) << r.Errors();
  EXPECT_TRUE(Contains(r.err[0], "opcclient: cannot connect to {")) << r.err[0];
  EXPECT_TRUE(Contains(r.err[0], "0x80040154")) << "REGDB_E_CLASSNOTREG expected: " << r.err[0];
}

TEST(ClientConnect, MalformedClassIdExitsWithTwo) {
  Outcome r = RunClient({"status", "{not-a-guid}"});
  EXPECT_EQ(r.exitCode, 2u);
  ASSERT_EQ(r.err.size(), 1u) << r.Errors();
  EXPECT_TRUE(Contains(r.err[0], "opcclient: bad class ID {not-a-guid}: 0x")) << r.err[0];
}

class ClientStatus : public ClientTest {};

TEST_F(ClientStatus, PrintsStateTimesGroupsAndVersion) {
  ASSERT_TRUE(host_->Command("version Acme 2 5 9"));
  OPCHANDLE group = 0;
  auto g = AddGroup(L"held", &group);
  Outcome r = Opc("status");
  ASSERT_EQ(r.exitCode, 0u) << r.Errors();
  ASSERT_EQ(r.out.size(), 8u) << ::testing::PrintToString(r.out);
  EXPECT_EQ(r.out[0], "state\t1 RUNNING");
  // The client's own connection is another server object: its group count is
  // its own, not that of this test's connection.
  EXPECT_EQ(r.out[4], "group_count\t0");
  EXPECT_EQ(r.out[6], "version\t2.5.9");
  EXPECT_EQ(r.out[7], "vendor_info\tAcme");
  EXPECT_EQ(Fields(r.out[1])[0], "start_time");
  EXPECT_TRUE(IsIsoTime(Fields(r.out[1])[1])) << r.out[1];
  EXPECT_EQ(Fields(r.out[2])[0], "current_time");
  ASSERT_TRUE(IsIsoTime(Fields(r.out[2])[1])) << r.out[2];
  EXPECT_EQ(Fields(r.out[3])[0], "last_update_time");
  EXPECT_EQ(Fields(r.out[5])[0], "band_width");

  // The current time is now, in UTC.
  SYSTEMTIME st;
  GetSystemTime(&st);
  char today[16];
  std::snprintf(today, sizeof today, "%04u-%02u-%02u", st.wYear, st.wMonth, st.wDay);
  EXPECT_EQ(Fields(r.out[2])[1].substr(0, 10), today);
}

// The server list needs the host's class in the DA categories; the host
// registers itself under a ProgID of this test's own.
class ClientServerList : public ClientTest {
 protected:
  void SetUp() override {
    ClientTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(host_->Command("register " + progId_ + " Client test server"));
    ASSERT_EQ(Lines("register "), Strings{"register 1"});
  }
  void TearDown() override {
    if (host_) {
      EXPECT_TRUE(host_->Command("unregister " + progId_));
      auto done = Lines("unregister ");
      EXPECT_TRUE(!done.empty() && done.back() == "unregister 1") << ::testing::PrintToString(done);
    }
    ClientTest::TearDown();
  }

  const std::string progId_ = "QuillonClientTest." + std::to_string(GetCurrentProcessId());
};

TEST_F(ClientServerList, ListsTheRegisteredServerWithItsVersions) {
  Outcome r = RunClient({"list"});
  ASSERT_EQ(r.exitCode, 0u) << r.Errors();
  auto ours = LinesStartingWith(r.out, classId_.text);
  ASSERT_EQ(ours.size(), 1u) << ::testing::PrintToString(r.out);
  EXPECT_EQ(Fields(ours[0]), (Strings{classId_.text, progId_, "Client test server", "DA1,DA2,DA3"}));
  for (const auto& line : r.out) EXPECT_EQ(Fields(line).size(), 4u) << line;
}

TEST_F(ClientServerList, TheServerListServiceListsTheSameServers) {
  Outcome registry = RunClient({"list"});
  Outcome service = RunClient({"list", "--server-list"});
  ASSERT_EQ(service.exitCode, 0u) << service.Errors();
  auto ours = LinesStartingWith(service.out, classId_.text);
  ASSERT_EQ(ours.size(), 1u) << ::testing::PrintToString(service.out);
  EXPECT_EQ(Fields(ours[0]), (Strings{classId_.text, progId_, "Client test server", "DA1,DA2,DA3"}));
  EXPECT_EQ(LinesStartingWith(registry.out, classId_.text), ours);
}

TEST_F(ClientServerList, ConnectsByProgId) {
  Outcome r = RunClient({"read", progId_, "Pump"});
  ASSERT_EQ(r.exitCode, 0u) << r.Errors();
  ASSERT_EQ(r.out.size(), 1u);
  EXPECT_EQ(WithoutTime(r.out[0]), (Strings{"Pump", "7", "VT_I4", "192 GOOD"}));
  // The client's connection is a new server object in the host.
  EXPECT_EQ(ServerHandles().size(), 2u);
}

TEST_F(ClientServerList, AnUnregisteredProgIdIsNoLongerFound) {
  ASSERT_TRUE(host_->Command("unregister " + progId_));
  Outcome r = RunClient({"status", progId_});
  EXPECT_EQ(r.exitCode, 2u) << r.Errors();
  EXPECT_TRUE(LinesStartingWith(RunClient({"list"}).out, classId_.text).empty());
}

}  // namespace
}  // namespace client
