// The update engine in-process, through a port that records what it is asked
// to do: when timers run, when a change goes out at once, and that a tick's
// call never nests in another.
#include "update_engine.h"

#include <gtest/gtest.h>

#include <functional>

#include "clock.h"
#include "host_port.h"

using namespace quillon;

namespace {

struct RecordingPort final : UpdatePort {
  void SetUpdateTimer(DWORD ms) override { updateTimer = ms; }
  void SetKeepAliveTimer(DWORD ms) override { keepAliveTimer = ms; }
  bool HasSink() const override { return sink; }
  void MarkAllInitial() override { ++initials; }
  void DeliverUpdate() override {
    ++updates;
    if (duringDelivery) duringDelivery();
  }
  void DeliverKeepAlive() override {
    ++keepAlives;
    if (duringDelivery) duringDelivery();
  }

  bool sink = true;
  DWORD updateTimer = 0, keepAliveTimer = 0;
  int initials = 0, updates = 0, keepAlives = 0;
  std::function<void()> duringDelivery;
};

class UpdateEngine : public ::testing::Test {
 protected:
  RecordingPort port;
  TUpdateEngine engine{port};
};

}  // namespace

TEST_F(UpdateEngine, TheUpdateTimerRunsOnlyWhileActiveEnabledAndConnected) {
  engine.SetUpdateRate(250, 10);
  engine.ResetTimer();
  EXPECT_EQ(port.updateTimer, 0u);  // not active yet
  engine.SetActive(TRUE);
  EXPECT_EQ(port.updateTimer, 250u);
  engine.SetEnabled(FALSE);
  EXPECT_EQ(port.updateTimer, 0u);
  engine.SetEnabled(TRUE);
  EXPECT_EQ(port.updateTimer, 250u);
  port.sink = false;
  engine.ResetTimer();
  EXPECT_EQ(port.updateTimer, 0u);
  port.sink = true;
  engine.ResetTimer();
  engine.Stop();
  EXPECT_EQ(port.updateTimer, 0u);
  EXPECT_FALSE(engine.Enabled());
}

TEST_F(UpdateEngine, RatesAreRevisedUpToTheMinimumAndKeepAliveUpToTheRate) {
  engine.SetUpdateRate(5, 100);
  EXPECT_EQ(engine.UpdateRate(), 100u);
  engine.SetUpdateRate(1000, 100);
  EXPECT_EQ(engine.UpdateRate(), 1000u);
  EXPECT_EQ(engine.SetKeepAlive(300), 1000u);
  EXPECT_EQ(engine.SetKeepAlive(5000), 5000u);
  EXPECT_EQ(port.keepAliveTimer, 5000u);
  port.sink = false;
  engine.ResetAliveTimer();
  EXPECT_EQ(port.keepAliveTimer, 0u);  // nobody to keep alive
}

TEST_F(UpdateEngine, EnableKeepsTheClientsTruthValueUntilItChanges) {
  engine.SetEnabled(TRUE);
  EXPECT_EQ(engine.Enabled(), -1);  // already enabled: the stored value stays
  engine.SetEnabled(FALSE);
  engine.SetEnabled(5);
  EXPECT_EQ(engine.Enabled(), 5);
  engine.SetEnabled(FALSE);
  engine.Reenable();
  EXPECT_EQ(engine.Enabled(), -1);
}

TEST_F(UpdateEngine, ComingAliveMarksItemsAndSendsAtOnceOnlyWithinAPeriodOfTheLastUpdate) {
  engine.SetUpdateRate(60000, 10);
  engine.Updated(NowOleDate());
  engine.SetActive(TRUE);
  EXPECT_EQ(port.initials, 1);
  EXPECT_EQ(port.updates, 1);
  engine.SetActive(TRUE);  // no change: nothing happens
  EXPECT_EQ(port.initials, 1);
  engine.SetActive(FALSE);
  engine.SetUpdateRate(10, 10);
  engine.Updated(NowOleDate() - 1.0);  // a day ago
  engine.SetActive(TRUE);
  EXPECT_EQ(port.initials, 2);
  EXPECT_EQ(port.updates, 1);  // the next tick sends
}

TEST_F(UpdateEngine, TicksSendOnlyWhileActive) {
  engine.OnUpdateTimer();
  EXPECT_EQ(port.updates, 0);
  engine.SetActive(TRUE);
  engine.OnUpdateTimer();
  engine.OnKeepAliveTimer();
  EXPECT_EQ(port.updates, 1);
  EXPECT_EQ(port.keepAlives, 1);
}

TEST_F(UpdateEngine, ATickDuringATicksCallIsSkippedAndTheNextOneRuns) {
  engine.SetActive(TRUE);
  int nested = 0;
  port.duringDelivery = [&] {
    ++nested;
    engine.OnUpdateTimer();
    engine.OnKeepAliveTimer();
  };
  engine.OnUpdateTimer();
  EXPECT_EQ(nested, 1);
  EXPECT_EQ(port.updates, 1);
  EXPECT_EQ(port.keepAlives, 0);
  port.duringDelivery = [] { throw std::runtime_error("the sink failed"); };
  EXPECT_THROW(engine.OnKeepAliveTimer(), std::runtime_error);
  port.duringDelivery = nullptr;
  engine.OnUpdateTimer();  // a failed call does not leave the engine stuck
  EXPECT_EQ(port.updates, 2);
}

TEST_F(UpdateEngine, AnUpdateRestartsTheKeepAlivePeriod) {
  engine.SetUpdateRate(100, 10);
  engine.SetKeepAlive(2000);
  port.keepAliveTimer = 0;
  engine.Updated(NowOleDate());
  EXPECT_EQ(port.keepAliveTimer, 2000u);
}

namespace {

class ChangeTest : public ::testing::Test {
 protected:
  TOPCItem* Add(TOPCTag* tag, BOOL active = TRUE) {
    OPCITEMDEF def{};
    def.bActive = active;
    return items.Add(tag->shared_from_this(), def);
  }
  TOPCTag* Leaf(const wchar_t* name, WORD rights = OPC_READABLE) {
    TOPCTag* tag = root->AddChild(name);
    tag->SetCanonicalType(VT_R8);
    tag->SetAccessRights(rights);
    return tag;
  }
  static void Push(TOPCTag* tag, double value) {
    VARIANT v;
    V_VT(&v) = VT_R8;
    V_R8(&v) = value;
    ASSERT_EQ(tag->Update(v, 0xC0, CurrentFileTime()), S_OK);
  }

  HostPort host;
  std::shared_ptr<TOPCTag> root =
      std::make_shared<TOPCTag>(std::make_shared<const TagContext>(TagContext{host, 10}), nullptr, L"ROOT");
  TItemSet items;
};

}  // namespace

TEST_F(ChangeTest, SelectsActiveReadableChangedItemsInOrderAndEachChangeOnce) {
  TOPCTag* a = Leaf(L"A");
  TOPCTag* hidden = Leaf(L"W", OPC_WRITEABLE);
  TOPCItem* first = Add(a);
  Add(a, FALSE);
  Add(hidden);
  TOPCItem* second = Add(Leaf(L"B"));
  EXPECT_EQ(TakeChangedItems(items, 0), (std::vector<TOPCItem*>{first, second}));
  EXPECT_TRUE(TakeChangedItems(items, 0).empty());
  Push(a, 10);
  EXPECT_EQ(TakeChangedItems(items, 0), (std::vector<TOPCItem*>{first}));
}

TEST_F(ChangeTest, TheGroupDeadbandHoldsBackSmallMovesAndAGoneTagIsReportedOnce) {
  TOPCTag* a = Leaf(L"A");
  TOPCItem* item = Add(a);
  Push(a, 100);
  ASSERT_EQ(TakeChangedItems(items, 10).size(), 1u);
  Push(a, 105);
  EXPECT_TRUE(TakeChangedItems(items, 10).empty());
  Push(a, 120);
  EXPECT_EQ(TakeChangedItems(items, 10), (std::vector<TOPCItem*>{item}));
  root->DeleteChild(0);
  EXPECT_EQ(TakeChangedItems(items, 10), (std::vector<TOPCItem*>{item}));
  EXPECT_EQ(item->Quality(), OPC_QUALITY_BAD);
  items.MarkAllPending();
  EXPECT_TRUE(TakeChangedItems(items, 10).empty());
}
