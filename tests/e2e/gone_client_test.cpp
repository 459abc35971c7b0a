// Clients that die while connected: a subscriber killed from outside is found
// gone on the first callback that cannot reach it, its server object is
// reclaimed (the host hears of it), and nothing more is sent to it or leaked
// for it, while a live client beside it goes on as before.
#include <sstream>

#include "live_subscriber.h"

namespace e2e {
namespace {

constexpr const char* kSubscriber = "e2e_subscriber.exe";

struct HostFigures {
  unsigned long handles = 0, privateKb = 0;
};

class GoneClient : public BesideALiveSubscriber {
 protected:
  // Starts a subscriber of Mode and answers the handle of its server object.
  std::string StartSubscriber(ClientProcess& client) {
    EXPECT_TRUE(client.WaitReady(20000)) << "the subscriber did not get ready, exit code " << client.ExitCode();
    EXPECT_TRUE(PumpUntil([&] { return ServerHandles().size() == 2; }, 5000));
    auto handles = ServerHandles();
    return handles.size() == 2 ? handles[1] : std::string();
  }

  bool WaitServerGone(const std::string& handle, DWORD ms) {
    return PumpUntil([&] { return !Lines("server " + handle + " 1").empty(); }, ms);
  }

  HostFigures Figures() {
    HostFigures f;
    if (!host_->Command("figures")) return f;
    auto lines = Lines("figures ");
    if (!lines.empty()) std::istringstream(lines.back().substr(8)) >> f.handles >> f.privateKb;
    return f;
  }

  // The host keeps pushing values while the dead client is reclaimed, and for
  // a while after: no callback to it may fail again, no handle may leak.
  void ExpectQuietAfterReclaim(const std::string& mine) {
    ASSERT_EQ(Lines("log ").size(), 1u) << ::testing::PrintToString(Lines("log "));
    const HostFigures before = Figures();
    const int liveCalls = live_->calls;
    PumpUntil([] { return false; }, 3000);
    const HostFigures after = Figures();
    EXPECT_EQ(Lines("log ").size(), 1u) << ::testing::PrintToString(Lines("log "));
    EXPECT_GT(live_->calls, liveCalls) << "the live client's subscription stopped";
    EXPECT_TRUE(Lines("server " + mine + " 1").empty()) << "the live client's server object went";
    EXPECT_EQ(GroupCount(server_.Get()), 1u);
    // Wine answers a handle count in some versions only.
    if (before.handles && after.handles) {
      EXPECT_LE(after.handles, before.handles + 5);
    }
    std::printf("[ figures  ] host handles %lu -> %lu, private %lu -> %lu KB over 3 s after the reclaim\n",
                before.handles, after.handles, before.privateKb, after.privateKb);
  }
};

TEST_F(GoneClient, AKilledSubscriberIsReclaimedAtItsFirstFailedCallbackAndCalledNoMore) {
  ASSERT_NO_FATAL_FAILURE(SubscribeLiveClient());
  ASSERT_TRUE(host_->Command("churn Level on"));
  ClientProcess client(kSubscriber, classId_.text, "callback Level");
  const std::string gone = StartSubscriber(client);
  ASSERT_FALSE(gone.empty());
  client.Kill();

  ASSERT_TRUE(WaitServerGone(gone, 15000)) << ::testing::PrintToString(host_->Events());
  const auto logs = Lines("log ");
  ASSERT_EQ(logs.size(), 1u) << ::testing::PrintToString(logs);
  EXPECT_EQ(logs[0].rfind("log [ClientGone]Group Sub: the client is gone (0x", 0), 0u) << logs[0];
  EXPECT_NE(logs[0].find(" from OnDataChange)"), std::string::npos) << logs[0];
  std::printf("[ figures  ] %s\n", logs[0].c_str());
  ExpectQuietAfterReclaim(Server());
}

TEST_F(GoneClient, AnIdleGroupsKeepAliveFindsAKilledSubscriberGone) {
  ASSERT_NO_FATAL_FAILURE(SubscribeLiveClient());
  // No values change: only the keep-alive calls the subscriber.
  ClientProcess client(kSubscriber, classId_.text, "callback keepalive:300 Level");
  const std::string gone = StartSubscriber(client);
  ASSERT_FALSE(gone.empty());
  client.Kill();
  ASSERT_TRUE(WaitServerGone(gone, 15000)) << ::testing::PrintToString(host_->Events());
  ASSERT_EQ(Lines("log ").size(), 1u) << ::testing::PrintToString(Lines("log "));
}

TEST_F(GoneClient, AShutdownRequestToAKilledClientIsLoggedAndTheOthersStillEnd) {
  auto shutdown = MakeCom<ShutdownSink>();
  ComPtr<IConnectionPoint> point;
  ASSERT_HR(server_.Query<IConnectionPointContainer>()->FindConnectionPoint(IID_IOPCShutdown, point.Put()), S_OK);
  DWORD cookie = 0;
  ASSERT_HR(point->Advise(shutdown.Get(), &cookie), S_OK);
  ClientProcess client(kSubscriber, classId_.text, "shutdown");
  const std::string gone = StartSubscriber(client);
  ASSERT_FALSE(gone.empty());
  client.Kill();

  ASSERT_TRUE(host_->Command("shutdown", 30000));
  EXPECT_EQ(shutdown->reasons.size(), 1u) << "the live client was not asked";
  EXPECT_FALSE(Lines("server " + gone + " 1").empty());
  EXPECT_FALSE(Lines("server " + Server() + " 1").empty());
  const auto logs = Lines("log ");
  ASSERT_EQ(logs.size(), 1u) << ::testing::PrintToString(logs);
  EXPECT_EQ(logs[0].rfind("log [ClientGone]Server: the client is gone (0x", 0), 0u) << logs[0];
}

}  // namespace
}  // namespace e2e
