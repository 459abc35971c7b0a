// A client that is slow to answer its callbacks: under a runtime whose modal
// loop dispatches the server thread's timers while a call waits (the host's
// "modalpump" message filter makes Wine's do so, as Windows' does), the slow
// client's group starts no second tick call inside the first, and the other
// clients' ticks go on meanwhile.
#include <cstdlib>

#include "live_subscriber.h"

namespace e2e {
namespace {

class SlowClient : public BesideALiveSubscriber {
 protected:
  // -1 when the host's thread never gets back to its own loop to answer.
  int DeepestWait() {
    if (!host_->Command("modalpump depth", 20000)) return -1;
    auto lines = Lines("modalpump depth ");
    return lines.empty() ? -1 : std::atoi(lines.back().c_str() + 16);
  }
};

TEST_F(SlowClient, ItsGroupMakesOneTickCallAtATimeAndTheOthersTicksGoOn) {
  ASSERT_TRUE(host_->Command("modalpump on"));
  ASSERT_NO_FATAL_FAILURE(SubscribeLiveClient());
  ASSERT_TRUE(host_->Command("churn Level on"));
  ClientProcess slow("e2e_subscriber.exe", classId_.text, "slow:500 Level");
  ASSERT_TRUE(slow.WaitReady(20000)) << "exit code " << slow.ExitCode();

  const int before = live_->calls;
  PumpUntil([] { return false; }, 3000);
  const int liveCalls = live_->calls - before;
  const int deepest = DeepestWait();
  const auto report = Lines("modalpump depth ");
  std::printf("[ figures  ] live client: %d callbacks in 3 s beside a client sleeping 500 ms in each; %s\n", liveCalls,
              report.empty() ? "the host did not answer" : report.back().c_str());
  // A wait for the slow client's call was seen, and the tick calls of the
  // two groups nest at most one each.
  EXPECT_GE(deepest, 1);
  EXPECT_LE(deepest, 2);
  // The live group ticks every 100 ms: most of its ticks reach it.
  EXPECT_GE(liveCalls, 15);
  slow.Kill();
}

}  // namespace
}  // namespace e2e
