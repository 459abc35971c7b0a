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
    point_.reset();
    group_.reset();
    if (host_) {
      // The shared teardown rejects every log line: this one ends the host
      // and checks them itself.
      server_.reset();
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
                                __uuidof(IOPCItemMgt), group_.put_unknown()),
              S_OK);
    ItemDefs defs;
    defs.Add(L"Level", VT_EMPTY, 1);
    ItemResults added;
    ASSERT_HR(group_->AddItems(defs.Count(), defs.Data(), &added.results, &added.errors), S_OK);
    ASSERT_HR(group_.As<IConnectionPointContainer>()->FindConnectionPoint(IID_IOPCDataCallback, point_.put()), S_OK);
    DWORD cookie = 0;
    ASSERT_HR(point_->Advise(live_.get(), &cookie), S_OK);
  }

  Com<IOPCItemMgt> group_;
  Com<IConnectionPoint> point_;
  Com<DataCallbackSink> live_ = DataCallbackSink::Make();
};

}  // namespace e2e
