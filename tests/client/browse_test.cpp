// Browsing through opcclient: the DA 2 address-space walk and the DA 3
// element browser, with their filters.
#include <algorithm>

#include "client_fixture.h"

namespace client {
namespace {

class ClientBrowse : public ClientTest {};

TEST_F(ClientBrowse, Da2ListsBranchesThenLeavesOfTheRoot) {
  Outcome r = Opc("browse");
  ASSERT_EQ(r.exitCode, 0u) << r.Errors();
  EXPECT_EQ(r.out, (Strings{"branch\tTank1", "branch\tBoiler", "leaf\tPump", "leaf\tName", "leaf\tFlag"}));
  EXPECT_TRUE(r.err.empty()) << r.Errors();
}

TEST_F(ClientBrowse, Da2KindFiltersAndNameFilter) {
  EXPECT_EQ(Opc("browse", {"--branches"}).out, (Strings{"branch\tTank1", "branch\tBoiler"}));
  EXPECT_EQ(Opc("browse", {"--leaves"}).out, (Strings{"leaf\tPump", "leaf\tName", "leaf\tFlag"}));
  EXPECT_EQ(Opc("browse", {"--leaves", "--filter", "*a*"}).out, (Strings{"leaf\tName", "leaf\tFlag"}));
  Outcome none = Opc("browse", {"--leaves", "--filter", "Nothing*"});
  EXPECT_EQ(none.exitCode, 0u) << none.Errors();
  EXPECT_TRUE(none.out.empty());
}

TEST_F(ClientBrowse, Da2FromABranchWithItemIdsAndLeafFilters) {
  Outcome r = Opc("browse", {"--from", "Tank1", "--item-ids"});
  ASSERT_EQ(r.exitCode, 0u) << r.Errors();
  EXPECT_EQ(r.out, (Strings{"leaf\tLevel\tTank1.Level", "leaf\tTemp\tTank1.Temp"}));
  // Data type and access rights filter the leaves (rights compare whole values).
  EXPECT_EQ(Opc("browse", {"--from", "Tank1", "--type", "R4"}).out, (Strings{"leaf\tTemp"}));
  EXPECT_EQ(Opc("browse", {"--from", "Tank1", "--rights", "rw"}).out, (Strings{"leaf\tLevel"}));
  EXPECT_EQ(Opc("browse", {"--leaves", "--type", "VT_BOOL"}).out, (Strings{"leaf\tFlag"}));
}

TEST_F(ClientBrowse, Da2FlatListsEveryItemIdBelowThePosition) {
  // The order is the server's; the lines are compared as a set.
  Outcome r = Opc("browse", {"--flat"});
  ASSERT_EQ(r.exitCode, 0u) << r.Errors();
  std::ranges::sort(r.out);
  EXPECT_EQ(r.out, (Strings{"item\tBoiler.Pressure", "item\tFlag", "item\tName", "item\tPump", "item\tTank1.Level",
                            "item\tTank1.Temp"}));
  EXPECT_TRUE(r.err.empty()) << r.Errors();

  r = Opc("browse", {"--flat", "--from", "Tank1", "--item-ids"});
  ASSERT_EQ(r.exitCode, 0u) << r.Errors();
  std::ranges::sort(r.out);
  EXPECT_EQ(r.out, (Strings{"item\tTank1.Level\tTank1.Level", "item\tTank1.Temp\tTank1.Temp"}));
  EXPECT_TRUE(r.err.empty()) << r.Errors();

  // The leaf filters apply to the flat list too.
  r = Opc("browse", {"--flat", "--type", "R8"});
  ASSERT_EQ(r.exitCode, 0u) << r.Errors();
  std::ranges::sort(r.out);
  EXPECT_EQ(r.out, (Strings{"item\tBoiler.Pressure", "item\tTank1.Level"}));
}

TEST_F(ClientBrowse, Da2FromAnUnknownBranchFails) {
  Outcome r = Opc("browse", {"--from", "Tank9"});
  EXPECT_EQ(r.exitCode, 3u);
  EXPECT_TRUE(r.out.empty());
  ASSERT_EQ(r.err.size(), 1u) << r.Errors();
  EXPECT_EQ(r.err[0], "opcclient: ChangeBrowsePosition to Tank9: 0x80070057 " + ServerText(E_INVALIDARG));
}

TEST_F(ClientBrowse, Da3ListsElementsWithKindsAndItemIds) {
  Outcome r = Opc("browse3");
  ASSERT_EQ(r.exitCode, 0u) << r.Errors();
  EXPECT_EQ(r.out, (Strings{"branch\tTank1\tTank1", "leaf\tPump\tPump", "leaf\tName\tName", "leaf\tFlag\tFlag",
                            "branch\tBoiler\tBoiler"}));
  r = Opc("browse3", {"Tank1"});
  ASSERT_EQ(r.exitCode, 0u) << r.Errors();
  EXPECT_EQ(r.out, (Strings{"leaf\tLevel\tTank1.Level", "leaf\tTemp\tTank1.Temp"}));
}

TEST_F(ClientBrowse, Da3FollowsContinuationPointsToTheEnd) {
  for (const char* max : {"1", "2", "4"}) {
    Outcome r = Opc("browse3", {"--max", max});
    ASSERT_EQ(r.exitCode, 0u) << r.Errors();
    EXPECT_EQ(r.out, (Strings{"branch\tTank1\tTank1", "leaf\tPump\tPump", "leaf\tName\tName", "leaf\tFlag\tFlag",
                              "branch\tBoiler\tBoiler"}))
        << "--max " << max;
  }
}

TEST_F(ClientBrowse, Da3Filters) {
  EXPECT_EQ(Opc("browse3", {"--branches"}).out, (Strings{"branch\tTank1\tTank1", "branch\tBoiler\tBoiler"}));
  EXPECT_EQ(Opc("browse3", {"--leaves", "--max", "1"}).out,
            (Strings{"leaf\tPump\tPump", "leaf\tName\tName", "leaf\tFlag\tFlag"}));
  EXPECT_EQ(Opc("browse3", {"--filter", "P*"}).out, (Strings{"leaf\tPump\tPump"}));
  EXPECT_EQ(Opc("browse3", {"Tank1", "--filter", "T*"}).out, (Strings{"leaf\tTemp\tTank1.Temp"}));
}

TEST_F(ClientBrowse, Da3UnknownItemIsAnItemFailure) {
  Outcome r = Opc("browse3", {"Tank9"});
  EXPECT_EQ(r.exitCode, 4u);
  EXPECT_TRUE(r.out.empty());
  ASSERT_EQ(r.err.size(), 1u) << r.Errors();
  EXPECT_EQ(r.err[0], "opcclient: Browse Tank9: 0xC0040007 " + ServerText(OPC_E_UNKNOWNITEMID));
}

}  // namespace
}  // namespace client
