// A server object's groups in-process: what a group still knows of its server
// object once it left the server's list.
#include <gtest/gtest.h>

#include <string>

#include "exports_state.h"
#include "group.h"
#include "quillon.h"
#include "server.h"

using namespace quillon;

namespace {

class ServerGroups : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    GUID g;
    CoCreateGuid(&g);
    wchar_t w[40];
    StringFromGUID2(g, w, 40);
    ASSERT_EQ(CreateServer(std::string(w, w + 38).c_str(), 10), -1);
    server = MakeCom<TServer>(Exports().module);
  }
  void TearDown() override {
    server.Reset();
    FreeServer();
  }
  TGroup* Add(const wchar_t* name, ComPtr<IUnknown>& held) {
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    EXPECT_EQ(server->AddGroup(name, TRUE, 100, 1, nullptr, nullptr, 0, &handle, &revised, IID_IUnknown,
                               held.Put()),
              S_OK);
    return server->GetGrp(handle, false);
  }

  ComPtr<TServer> server;
};

}  // namespace

TEST_F(ServerGroups, AGroupRemovedWhileInUseNoLongerPointsAtItsServer) {
  ComPtr<IUnknown> held;
  TGroup* group = Add(L"Kept", held);
  ASSERT_TRUE(group);
  EXPECT_EQ(group->Owner(), static_cast<GroupOwner*>(server.Get()));
  EXPECT_EQ(server->RemoveGroup(group->GroupHandle(), FALSE), OPC_S_INUSE);
  EXPECT_TRUE(group->Removed());
  // Its ticks would otherwise reach the server object after that is gone.
  EXPECT_EQ(group->Owner(), nullptr);
  server.Reset();
  EXPECT_TRUE(group->Removed());
}

TEST_F(ServerGroups, GroupsLeftWithTheServerAndPublicOnesItMadeForgetIt) {
  ComPtr<IUnknown> privateHeld, publicHeld;
  TGroup* kept = Add(L"Private", privateHeld);
  TGroup* shared = Add(L"Shared", publicHeld);
  ASSERT_TRUE(kept && shared);
  ASSERT_EQ(shared->MoveToPublic(), S_OK);
  EXPECT_EQ(shared->Owner(), static_cast<GroupOwner*>(server.Get()));
  server.Reset();
  EXPECT_EQ(kept->Owner(), nullptr);
  EXPECT_TRUE(kept->Removed());
  EXPECT_EQ(shared->Owner(), nullptr);
  EXPECT_FALSE(shared->Removed());  // the public group stays for other clients
}
