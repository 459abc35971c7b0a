#pragma once
// A hosted server whose own client subscribes to Level beside other clients
// that the tests kill or slow down: those are found gone in the end, so the
// host's log may hold the client-gone lines, and only those.
#include "opc_client.h"

namespace e2e {

class BesideALiveSubscriber : public HostedServer {
 protected:
  std::vector<std::string> Tags() const override { return {"Level 3 3 0"}; }

  void TearDown() override {
    point_.Reset();
    group_.Reset();
    if (host_) {
      // The shared teardown rejects every log line: this one ends the host
      // and checks them itself.
      server_.Reset();
      EXPECT_TRUE(host_->Running());
      EXPECT_TRUE(host_->Quit(10000));
      for (const auto& line : Lines("log ")) EXPECT_EQ(line.rfind("log [ClientGone]", 0), 0u) << line;
      host_.reset();
    }
    HostedServer::TearDown();
  }

  // The fixture's own client subscribes to Level, in group "Live" of rate 100.
  void SubscribeLiveClient() {
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    ASSERT_HR(server_->AddGroup(L"Live", TRUE, 100, 2, nullptr, nullptr, 0, &handle, &revised,
                                __uuidof(IOPCItemMgt), group_.PutUnknown()),
              S_OK);
    ItemDefs defs;
    defs.Add(L"Level", VT_EMPTY, 1);
    ItemResults added;
    ASSERT_HR(
        group_->AddItems(defs.Count(), defs.Data(), added.results.Put(defs.Count()), added.errors.Put(defs.Count())),
        S_OK);
    ASSERT_HR(group_.Query<IConnectionPointContainer>()->FindConnectionPoint(IID_IOPCDataCallback, point_.Put()), S_OK);
    DWORD cookie = 0;
    ASSERT_HR(point_->Advise(live_.Get(), &cookie), S_OK);
  }

  ComPtr<IOPCItemMgt> group_;
  ComPtr<IConnectionPoint> point_;
  ComPtr<DataCallbackSink> live_ = MakeCom<DataCallbackSink>();
};

}  // namespace e2e
