// Item properties through opcclient, by IOPCItemProperties and IOPCBrowse.
#include "client_fixture.h"

namespace client {
namespace {

class ClientProperties : public ClientTest {};

TEST_F(ClientProperties, ListsEveryAvailablePropertyWithItsValue) {
  Outcome r = Opc("props", {"Tank1.Level"});
  ASSERT_EQ(r.exitCode, 0u) << r.Errors();
  ASSERT_EQ(r.out.size(), 6u) << ::testing::PrintToString(r.out);
  EXPECT_EQ(r.out[0], "1\tItem Canonical DataType\t5\tVT_I2");
  EXPECT_EQ(r.out[1], "2\tItem Value\t1.5\tVT_R8");
  EXPECT_EQ(r.out[2], "3\tItem Quality\t192\tVT_I2");
  auto time = Fields(r.out[3]);
  ASSERT_EQ(time.size(), 4u);
  EXPECT_EQ(time[0] + "|" + time[1] + "|" + time[3], "4|Item Timestamp|VT_DATE");
  EXPECT_EQ(time[2].size(), 19u) << "a date as YYYY-MM-DDTHH:MM:SS: " << time[2];
  EXPECT_EQ(r.out[4], "5\tItem Access Rights\t3\tVT_I4");
  EXPECT_EQ(r.out[5], "6\tServer Scan Rate\t" + std::to_string(e2e::kServerScanRate) + "\tVT_R4");
}

TEST_F(ClientProperties, SelectedPropertiesThroughBothInterfaces) {
  for (const Strings& extra : {Strings{}, Strings{"--browse"}}) {
    Strings args = {"Pump", "--id", "2,5"};
    args.insert(args.end(), extra.begin(), extra.end());
    Outcome r = Opc("props", args);
    ASSERT_EQ(r.exitCode, 0u) << r.Errors();
    EXPECT_EQ(r.out, (Strings{"2\tItem Value\t7\tVT_I4", "5\tItem Access Rights\t3\tVT_I4"}))
        << ::testing::PrintToString(extra);
  }
}

TEST_F(ClientProperties, AnUnknownPropertyIsAnItemFailure) {
  for (const Strings& extra : {Strings{}, Strings{"--browse"}}) {
    Strings args = {"Pump", "--id", "1,77"};
    args.insert(args.end(), extra.begin(), extra.end());
    Outcome r = Opc("props", args);
    EXPECT_EQ(r.exitCode, 4u);
    EXPECT_EQ(r.out, Strings{"1\tItem Canonical DataType\t3\tVT_I2"});
    ASSERT_EQ(r.err.size(), 1u) << r.Errors();
    EXPECT_EQ(r.err[0], "opcclient: Pump property 77: 0xC0040203 " + ServerText(OPC_E_INVALID_PID));
  }
}

TEST_F(ClientProperties, AnUnknownItemIsAnItemFailure) {
  Outcome r = Opc("props", {"Nope.Item"});
  EXPECT_EQ(r.exitCode, 4u);
  EXPECT_TRUE(r.out.empty());
  ASSERT_EQ(r.err.size(), 1u) << r.Errors();
  EXPECT_EQ(r.err[0], "opcclient: QueryAvailableProperties Nope.Item: 0xC0040007 " + ServerText(OPC_E_UNKNOWNITEMID));

  r = Opc("props", {"Nope.Item", "--browse", "--id", "1"});
  EXPECT_EQ(r.exitCode, 4u);
  EXPECT_TRUE(r.out.empty());
  ASSERT_EQ(r.err.size(), 1u) << r.Errors();
  EXPECT_EQ(r.err[0], "opcclient: Nope.Item: 0xC0040007 " + ServerText(OPC_E_UNKNOWNITEMID));
}

}  // namespace
}  // namespace client
