// Subscriptions through opcclient: the first values, values the host pushes
// while the client listens, qualities, the end by count or by time.
#include "client_fixture.h"

namespace client {
namespace {

class ClientSubscribe : public ClientTest {
 protected:
  static std::function<bool(const std::string&)> ValueOf(const std::string& itemId, const std::string& value) {
    return [=](const std::string& line) {
      auto f = Fields(line);
      return f.size() == 5 && f[0] == itemId && f[1] == value;
    };
  }
};

TEST_F(ClientSubscribe, PrintsTheFirstValuesThenEveryPushedChange) {
  ClientProcess client({"subscribe", classId_.text, "Pump", "Tank1.Level", "--rate", "100", "--seconds", "30",
                        "--count", "4"});
  ASSERT_TRUE(client.Started());
  ASSERT_TRUE(client.WaitForLine(ValueOf("Tank1.Level", "1.5"), 20000)) << ::testing::PrintToString(client.Err());
  ASSERT_TRUE(client.WaitForLine(ValueOf("Pump", "7"), 5000));
  ASSERT_TRUE(host_->Command("update Pump 99"));
  ASSERT_TRUE(client.WaitForLine(ValueOf("Pump", "99"), 10000)) << ::testing::PrintToString(client.Out());
  // A change of quality alone is a change too.
  ASSERT_TRUE(host_->Command("updateq Pump 54 99"));
  ASSERT_TRUE(client.Wait(10000)) << "the fourth change did not end the client";
  EXPECT_EQ(client.ExitCode(), 0u) << ::testing::PrintToString(client.Err());
  auto out = client.Out();
  ASSERT_EQ(out.size(), 4u) << ::testing::PrintToString(out);
  Strings pumps;
  for (const auto& line : out) {
    auto f = WithoutTime(line);
    if (f[0] == "Pump") pumps.push_back(f[1] + " " + f[2] + " " + f[3]);
  }
  EXPECT_EQ(pumps, (Strings{"7 VT_I4 192 GOOD", "99 VT_I4 192 GOOD", "99 VT_I4 84 UNCERTAIN_EGU_EXCEEDED"}));
  EXPECT_TRUE(client.Err().empty()) << ::testing::PrintToString(client.Err());
}

TEST_F(ClientSubscribe, EndsAfterTheGivenTime) {
  const ULONGLONG start = GetTickCount64();
  Outcome r = Opc("subscribe", {"Flag", "--seconds", "2", "--rate", "100"});
  const ULONGLONG took = GetTickCount64() - start;
  ASSERT_EQ(r.exitCode, 0u) << r.Errors();
  ASSERT_EQ(r.out.size(), 1u) << ::testing::PrintToString(r.out);
  EXPECT_EQ(WithoutTime(r.out[0]), (Strings{"Flag", "true", "VT_BOOL", "192 GOOD"}));
  EXPECT_GE(took, 2000u);
  EXPECT_LT(took, 15000u);
}

TEST_F(ClientSubscribe, AnUnknownItemIsReportedAndTheOthersServed) {
  Outcome r = Opc("subscribe", {"Nope.Item", "Pump", "--count", "1", "--seconds", "20"});
  EXPECT_EQ(r.exitCode, 4u);
  ASSERT_EQ(r.out.size(), 1u) << r.Errors();
  EXPECT_EQ(WithoutTime(r.out[0]), (Strings{"Pump", "7", "VT_I4", "192 GOOD"}));
  ASSERT_EQ(r.err.size(), 1u) << r.Errors();
  EXPECT_EQ(r.err[0].rfind("opcclient: Nope.Item: 0xC004000", 0), 0u) << r.err[0];
}

TEST_F(ClientSubscribe, TheClientsGroupIsRemovedWhenItEnds) {
  Outcome r = Opc("subscribe", {"Pump", "--count", "1", "--seconds", "20"});
  ASSERT_EQ(r.exitCode, 0u) << r.Errors();
  // The host saw one group of the client's server object come and go.
  auto handles = ServerHandles();
  ASSERT_EQ(handles.size(), 2u);
  auto groups = Lines("group " + handles[1] + " ");
  ASSERT_EQ(groups.size(), 2u) << ::testing::PrintToString(Lines("group "));
  EXPECT_EQ(groups[0].substr(groups[0].size() - 2), " 0") << "added: " << groups[0];
  EXPECT_EQ(groups[1].substr(groups[1].size() - 2), " 1") << "removed: " << groups[1];
}

}  // namespace
}  // namespace client
