// The update engine seen by an out-of-process client: which host pushes reach
// the client's IOPCDataCallback::OnDataChange, when, and with what, and the
// keep-alive callbacks of an idle group.
#include "opc_client.h"

#include <deque>
#include <functional>
#include <memory>
#include <utility>

namespace e2e {
namespace {

using Strings = std::vector<std::string>;

constexpr WORD kGood = 0xC0;
constexpr WORD kUncertain = 0x40;
constexpr OPCHANDLE kGroupClient = 0x77;
constexpr DWORD kRate = 200;


// One OnDataChange as the client received it.
struct Change {
  ULONGLONG at;  // GetTickCount64 on arrival
  DWORD transid;
  OPCHANDLE group;
  HRESULT masterQuality, masterError;
  std::vector<OPCHANDLE> clients;
  Strings values;
  std::vector<WORD> qualities;
  std::vector<ULONGLONG> times;
  Codes errors;
};

// A data callback that records every OnDataChange and answers each with the
// next queued result (S_OK once the queue is empty).
class RecordingSink : public ComObject<IOPCDataCallback> {
 public:
  STDMETHODIMP OnDataChange(DWORD transid, OPCHANDLE group, HRESULT masterQuality, HRESULT masterError, DWORD count,
                            OPCHANDLE* clients, VARIANT* values, WORD* qualities, FILETIME* times,
                            HRESULT* errors) override {
    Change c{GetTickCount64(), transid, group, masterQuality, masterError, {}, {}, {}, {}, {}};
    for (DWORD i = 0; i < count; ++i) {
      c.clients.push_back(clients[i]);
      c.values.push_back(Shown(values[i]));
      c.qualities.push_back(qualities[i]);
      c.times.push_back((ULONGLONG(times[i].dwHighDateTime) << 32) | times[i].dwLowDateTime);
      c.errors.push_back(errors[i]);
    }
    changes.push_back(std::move(c));
    if (auto once = std::exchange(during, nullptr)) once();
    if (answers.empty()) return S_OK;
    HRESULT answer = answers.front();
    answers.pop_front();
    return answer;
  }
  // Only data changes are expected here; any other callback is a failure.
  STDMETHODIMP OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*, VARIANT*, WORD*, FILETIME*,
                              HRESULT*) override {
    ADD_FAILURE() << "unexpected OnReadComplete";
    return S_OK;
  }
  STDMETHODIMP OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE*, HRESULT*) override {
    ADD_FAILURE() << "unexpected OnWriteComplete";
    return S_OK;
  }
  STDMETHODIMP OnCancelComplete(DWORD, OPCHANDLE) override {
    ADD_FAILURE() << "unexpected OnCancelComplete";
    return S_OK;
  }

  std::vector<Change> changes;
  std::deque<HRESULT> answers;
  // Runs inside the next OnDataChange, while the server waits on it.
  std::function<void()> during;
};


class DataChangeFixture : public HostedServer {
 protected:
  std::vector<std::string> Tags() const override {
    return {"Flow 5 3 100", "Count 3 3 7", "Name 8 3 alpha", "Level 5 3 50", "Setpoint 3 2 1"};
  }

  void TearDown() override {
    if (point_ && cookie_) {
      EXPECT_HR(point_->Unadvise(cookie_), S_OK);
    }
    point_.Reset();
    sync_.Reset();
    items_.Reset();
    group_.Reset();
    HostedServer::TearDown();
  }

  // A group as yet without items, advised unless Advise is false.
  void MakeGroup(BOOL active, DWORD rate, FLOAT deadband = 0, bool advise = true) {
    OPCHANDLE server = 0;
    DWORD revised = 0;
    ASSERT_HR(server_->AddGroup(L"Changes", active, rate, kGroupClient, nullptr, &deadband, 0, &server, &revised,
                                __uuidof(IOPCGroupStateMgt), group_.PutUnknown()),
              S_OK);
    ASSERT_EQ(revised, rate);
    items_ = group_.Query<IOPCItemMgt>();
    ASSERT_TRUE(items_);
    sync_ = group_.Query<IOPCSyncIO>();
    ASSERT_TRUE(sync_);
    ASSERT_HR(group_.Query<IConnectionPointContainer>()->FindConnectionPoint(IID_IOPCDataCallback, point_.Put()), S_OK);
    if (advise) Advise();
  }

  void Advise() { ASSERT_HR(point_->Advise(sink_.Get(), &cookie_), S_OK); }

  // Server handles of items added in one call, client handles 1, 2, ...
  std::vector<OPCHANDLE> AddItems(ItemDefs& defs) {
    ItemResults r;
    HRESULT hr = items_->AddItems(defs.Count(), defs.Data(), r.results.Put(defs.Count()), r.errors.Put(defs.Count()));
    EXPECT_HR(hr, S_OK);
    std::vector<OPCHANDLE> handles;
    for (DWORD i = 0; i < r.results.Size(); ++i) handles.push_back(r.results[i].hServer);
    return handles;
  }

  // An active group of rate kRate with Flow (client 1), Count (2) and Name
  // (3), once the first tick delivered them.
  void StartWithDelivered(FLOAT deadband = 0, DWORD rate = kRate) {
    MakeGroup(TRUE, rate, deadband);
    if (HasFatalFailure()) return;
    ItemDefs defs;
    defs.Add(L"Flow", VT_EMPTY, 1).Add(L"Count", VT_EMPTY, 2).Add(L"Name", VT_EMPTY, 3);
    handles_ = AddItems(defs);
    ASSERT_TRUE(WaitForChanges(1, 3 * rate + 2000)) << "the new items were never delivered";
    sink_->changes.clear();
  }

  bool WaitForChanges(size_t n, DWORD ms) {
    return PumpUntil([&] { return sink_->changes.size() >= n; }, ms);
  }
  // Pumps for a few update periods, in which no callback may arrive.
  void ExpectNoChange(DWORD periods = 4, DWORD rate = kRate) {
    PumpUntil([] { return false; }, periods * rate);
    EXPECT_EQ(sink_->changes.size(), 0u)
        << "first unexpected change: "
        << (sink_->changes.empty() ? "" : ::testing::PrintToString(sink_->changes[0].values));
  }

  // The one change that must arrive within a few periods: its items' client
  // handles and values.
  std::pair<std::vector<OPCHANDLE>, Strings> NextChange(DWORD rate = kRate) {
    if (!WaitForChanges(1, 3 * rate + 2000)) {
      ADD_FAILURE() << "no OnDataChange arrived";
      return {};
    }
    Change c = sink_->changes.front();
    sink_->changes.erase(sink_->changes.begin());
    return {c.clients, c.values};
  }

  ComPtr<RecordingSink> sink_ = MakeCom<RecordingSink>();
  ComPtr<IOPCGroupStateMgt> group_;
  ComPtr<IOPCItemMgt> items_;
  ComPtr<IOPCSyncIO> sync_;
  ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
  std::vector<OPCHANDLE> handles_;
};

class DataChange : public DataChangeFixture {};
class InitialUpdate : public DataChangeFixture {};
class Deadband : public DataChangeFixture {};
class KeepAlive : public DataChangeFixture {};

using Delivered = std::pair<std::vector<OPCHANDLE>, Strings>;

TEST_F(DataChange, NewItemsAreDeliveredAtTheFirstTickWithTheClientsHandles) {
  MakeGroup(TRUE, kRate);
  ItemDefs defs;
  defs.Add(L"Flow", VT_EMPTY, 1)
      .Add(L"Count", VT_EMPTY, 2)
      .Add(L"Name", VT_EMPTY, 3)
      .Add(L"Level", VT_EMPTY, 4, FALSE)
      .Add(L"Setpoint", VT_EMPTY, 5);
  const ULONGLONG added = GetTickCount64();
  AddItems(defs);
  ASSERT_TRUE(WaitForChanges(1, 3 * kRate + 2000));
  const Change& c = sink_->changes[0];
  // The first tick comes one period after the timer was set.
  EXPECT_LE(c.at - added, 2 * kRate + 500);
  EXPECT_EQ(c.transid, 0u);
  EXPECT_EQ(c.group, kGroupClient);
  EXPECT_HR(c.masterQuality, S_OK);
  EXPECT_HR(c.masterError, S_OK);
  // The inactive item and the one without read access are left out.
  EXPECT_EQ(c.clients, (std::vector<OPCHANDLE>{1, 2, 3}));
  EXPECT_EQ(c.values, (Strings{"5:100", "3:7", "8:alpha"}));
  EXPECT_EQ(c.qualities, (std::vector<WORD>{kGood, kGood, kGood}));
  EXPECT_EQ(c.errors, (Codes{S_OK, S_OK, S_OK}));
  for (ULONGLONG t : c.times) EXPECT_NE(t, 0u);

  // Nothing changed since: no further callback.
  sink_->changes.clear();
  ExpectNoChange();
}

TEST_F(DataChange, InactiveItemsAndItemsWithoutReadAccessAreNeverDelivered) {
  StartWithDelivered();
  ItemDefs defs;
  defs.Add(L"Level", VT_EMPTY, 4, FALSE).Add(L"Setpoint", VT_EMPTY, 5);
  AddItems(defs);
  ExpectNoChange();
  ASSERT_TRUE(host_->Command("update Level 60"));
  ASSERT_TRUE(host_->Command("update Setpoint 2"));
  ExpectNoChange();
  // The ticks are running: a readable active item's change still arrives
  // alone.
  ASSERT_TRUE(host_->Command("update Flow 200"));
  EXPECT_EQ(NextChange(), (Delivered{{1}, {"5:200"}}));
}

TEST_F(DataChange, SeveralUpdatesWithinOnePeriodGiveOneCallbackWithTheLastValue) {
  // A long period, so that the three pushes surely fall between two ticks:
  // they start right after the tick that delivered the new items.
  constexpr DWORD rate = 1000;
  StartWithDelivered(0, rate);
  ASSERT_TRUE(host_->Command("update Count 8"));
  ASSERT_TRUE(host_->Command("update Count 9"));
  ASSERT_TRUE(host_->Command("update Count 10"));
  EXPECT_EQ(NextChange(rate), (Delivered{{2}, {"3:10"}}));
  ExpectNoChange(1, rate + 200);
}

TEST_F(DataChange, QualityOnlyChangeIsDeliveredWithMasterQualityFalse) {
  StartWithDelivered();
  ASSERT_TRUE(host_->Command("updateq Count 40 7"));
  ASSERT_TRUE(WaitForChanges(1, 3 * kRate + 2000));
  {
    const Change& c = sink_->changes[0];
    EXPECT_EQ(c.clients, std::vector<OPCHANDLE>{2});
    EXPECT_EQ(c.values, Strings{"3:7"});
    EXPECT_EQ(c.qualities, std::vector<WORD>{kUncertain});
    EXPECT_HR(c.masterQuality, S_FALSE);
    EXPECT_HR(c.masterError, S_OK);
  }
  sink_->changes.clear();

  // Good again, same value: delivered, and every quality is good.
  ASSERT_TRUE(host_->Command("update Count 7"));
  ASSERT_TRUE(WaitForChanges(1, 3 * kRate + 2000));
  const Change& c = sink_->changes[0];
  EXPECT_EQ(c.clients, std::vector<OPCHANDLE>{2});
  EXPECT_EQ(c.qualities, std::vector<WORD>{kGood});
  EXPECT_HR(c.masterQuality, S_OK);
}

// The client removes items from inside the callback of the tick that
// reported them, the same handle twice among them: the tick's own list of
// changed items must not outlive the call, and the rest go on.
TEST_F(DataChange, ItemsRemovedFromInsideTheCallbackAreGoneAndTheOthersGoOn) {
  StartWithDelivered();
  // Shared with the callback, which may outlive this test's locals when an
  // assertion below ends it early.
  struct Outcome {
    HRESULT removed = E_UNEXPECTED;
    Codes codes;
  };
  auto outcome = std::make_shared<Outcome>();
  HRESULT& removed = outcome->removed;
  Codes& codes = outcome->codes;
  ComPtr<IOPCItemMgt> items = items_;
  const std::vector<OPCHANDLE> handles = handles_;
  sink_->during = [outcome, items, handles] {
    TaskMem<HRESULT> e;
    OPCHANDLE gone[] = {handles[0], handles[1], handles[0]};
    outcome->removed = items->RemoveItems(3, gone, e.Put(3));
    outcome->codes = CodesOf(e);
  };
  ASSERT_TRUE(host_->Command("update Flow 200"));
  ASSERT_TRUE(host_->Command("update Count 8"));
  ASSERT_TRUE(host_->Command("update Name beta"));
  ASSERT_TRUE(PumpUntil([&] { return removed != E_UNEXPECTED; }, 3 * kRate + 2000));
  EXPECT_HR(removed, S_FALSE);
  EXPECT_EQ(codes, (Codes{S_OK, S_OK, OPC_E_INVALIDHANDLE}));
  const size_t before = sink_->changes.size();
  ASSERT_TRUE(host_->Command("update Flow 300"));
  ASSERT_TRUE(host_->Command("update Count 9"));
  ASSERT_TRUE(host_->Command("update Name gamma"));
  ASSERT_TRUE(PumpUntil([&] { return !sink_->changes.empty() && sink_->changes.back().values.back() == "8:gamma"; },
                        3 * kRate + 2000));
  // Whatever the ticks after the removal held, only Name was in them.
  for (size_t i = before; i < sink_->changes.size(); ++i)
    EXPECT_EQ(sink_->changes[i].clients, std::vector<OPCHANDLE>{3});
}

TEST_F(DataChange, FailedCallbackIsNotResentAndTheNextChangeArrives) {
  StartWithDelivered();
  sink_->answers.push_back(E_FAIL);
  ASSERT_TRUE(host_->Command("update Flow 200"));
  EXPECT_EQ(NextChange(), (Delivered{{1}, {"5:200"}}));
  ExpectNoChange();
  ASSERT_TRUE(host_->Command("update Flow 300"));
  EXPECT_EQ(NextChange(), (Delivered{{1}, {"5:300"}}));
}

TEST_F(DataChange, RequestedDataTypeConvertsTheDeliveredValue) {
  StartWithDelivered();
  ItemDefs defs;
  defs.Add(L"Count", VT_BSTR, 6);
  AddItems(defs);
  EXPECT_EQ(NextChange(), (Delivered{{6}, {"8:7"}}));
  ASSERT_TRUE(host_->Command("update Count 12"));
  // Both items of the tag, in the order they were added.
  EXPECT_EQ(NextChange(), (Delivered{{2, 6}, {"3:12", "8:12"}}));
}

TEST_F(DataChange, ActivatingAGroupRecentlyCreatedSendsAnUpdateAtOnce) {
  // A period far longer than the wait below, so only the activation itself
  // can deliver.
  constexpr DWORD rate = 5000;
  MakeGroup(FALSE, rate);
  ItemDefs defs;
  defs.Add(L"Flow", VT_EMPTY, 1);
  AddItems(defs);
  ExpectNoChange(1, 300);
  BOOL active = TRUE;
  DWORD revised = 0;
  ASSERT_HR(group_->SetState(nullptr, &revised, &active, nullptr, nullptr, nullptr, nullptr), S_OK);
  ASSERT_TRUE(WaitForChanges(1, 1500)) << "no update at activation";
  EXPECT_EQ(sink_->changes[0].clients, std::vector<OPCHANDLE>{1});
  EXPECT_EQ(sink_->changes[0].values, Strings{"5:100"});
  EXPECT_EQ(sink_->changes.size(), 1u);
}

// Whatever reads came before, the first callback after a subscription starts
// carries the current state of every item it concerns.

TEST_F(InitialUpdate, AdviseAfterReadsSendsTheCurrentStateOfEveryActiveItem) {
  MakeGroup(TRUE, kRate, 0, false);
  ItemDefs defs;
  defs.Add(L"Flow", VT_EMPTY, 1).Add(L"Count", VT_EMPTY, 2).Add(L"Name", VT_EMPTY, 3).Add(L"Level", VT_EMPTY, 4, FALSE);
  handles_ = AddItems(defs);
  ASSERT_EQ(handles_.size(), 4u);
  const std::vector<OPCHANDLE> active(handles_.begin(), handles_.begin() + 3);
  SyncRead(sync_.Get(), OPC_DS_CACHE, active);
  SyncRead(sync_.Get(), OPC_DS_DEVICE, active);
  auto current = SyncRead(sync_.Get(), OPC_DS_CACHE, active);
  ASSERT_EQ(current.size(), 3u);

  Advise();
  ASSERT_TRUE(WaitForChanges(1, 3 * kRate + 2000)) << "no update after Advise";
  const Change& c = sink_->changes[0];
  EXPECT_EQ(c.clients, (std::vector<OPCHANDLE>{1, 2, 3}));
  EXPECT_EQ(c.values, ValuesOf(current));
  EXPECT_EQ(c.qualities, (std::vector<WORD>{kGood, kGood, kGood}));
  EXPECT_EQ(c.times, TimesOf(current));
  EXPECT_EQ(c.errors, (Codes{S_OK, S_OK, S_OK}));
  EXPECT_HR(c.masterQuality, S_OK);
  sink_->changes.clear();
  ExpectNoChange();
}

TEST_F(InitialUpdate, ItemsAddedToAnActiveGroupAreSentEvenWhenReadBeforeTheFirstTick) {
  constexpr DWORD rate = 1000;
  MakeGroup(TRUE, rate);
  ItemDefs defs;
  defs.Add(L"Flow", VT_EMPTY, 1).Add(L"Count", VT_EMPTY, 2);
  handles_ = AddItems(defs);
  SyncRead(sync_.Get(), OPC_DS_DEVICE, handles_);
  auto current = SyncRead(sync_.Get(), OPC_DS_CACHE, handles_);
  EXPECT_EQ(NextChange(rate), (Delivered{{1, 2}, ValuesOf(current)}));
  ExpectNoChange(1, rate + 200);
}

TEST_F(InitialUpdate, ActivatingAGroupReadWhileInactiveSendsGoodQuality) {
  MakeGroup(FALSE, kRate);
  ItemDefs defs;
  defs.Add(L"Flow", VT_EMPTY, 1).Add(L"Count", VT_EMPTY, 2);
  handles_ = AddItems(defs);
  auto inactive = SyncRead(sync_.Get(), OPC_DS_CACHE, handles_);
  EXPECT_EQ(QualitiesOf(inactive), (std::vector<WORD>{OPC_QUALITY_OUT_OF_SERVICE, OPC_QUALITY_OUT_OF_SERVICE}));
  ExpectNoChange(2);

  BOOL active = TRUE;
  DWORD revised = 0;
  ASSERT_HR(group_->SetState(nullptr, &revised, &active, nullptr, nullptr, nullptr, nullptr), S_OK);
  ASSERT_TRUE(WaitForChanges(1, 3 * kRate + 2000)) << "no update at activation";
  const Change& c = sink_->changes[0];
  EXPECT_EQ(c.clients, (std::vector<OPCHANDLE>{1, 2}));
  EXPECT_EQ(c.values, (Strings{"5:100", "3:7"}));
  EXPECT_EQ(c.qualities, (std::vector<WORD>{kGood, kGood})) << "the client would still show out of service";
  EXPECT_EQ(c.times, TimesOf(inactive));
  sink_->changes.clear();
  ExpectNoChange();
}

TEST_F(InitialUpdate, ActivatingInactiveItemsSendsThem) {
  StartWithDelivered();
  ItemDefs defs;
  defs.Add(L"Level", VT_EMPTY, 4, FALSE).Add(L"Setpoint", VT_EMPTY, 5, FALSE);
  auto added = AddItems(defs);
  ASSERT_EQ(added.size(), 2u);
  SyncRead(sync_.Get(), OPC_DS_DEVICE, {added[0]});
  auto current = SyncRead(sync_.Get(), OPC_DS_CACHE, {added[0]});
  ExpectNoChange(2);

  // Setpoint has no read access: activating it sends nothing.
  TaskMem<HRESULT> e;
  ASSERT_HR(items_->SetActiveState(2, added.data(), TRUE, e.Put(2)), S_OK);
  EXPECT_EQ(NextChange(), (Delivered{{4}, ValuesOf(current)}));
  ExpectNoChange();
}

TEST_F(InitialUpdate, ANewCallbackGetsTheCurrentValuesAgain) {
  StartWithDelivered();
  ASSERT_HR(point_->Unadvise(std::exchange(cookie_, 0)), S_OK);
  ExpectNoChange(2);
  Advise();
  EXPECT_EQ(NextChange(), (Delivered{{1, 2, 3}, {"5:100", "3:7", "8:alpha"}}));
  ExpectNoChange();
}

TEST_F(InitialUpdate, APercentDeadbandHoldsBackOnlyLaterChanges) {
  MakeGroup(TRUE, kRate, 10, false);
  ItemDefs defs;
  defs.Add(L"Flow", VT_EMPTY, 1).Add(L"Count", VT_EMPTY, 2);
  handles_ = AddItems(defs);
  SyncRead(sync_.Get(), OPC_DS_CACHE, handles_);
  Advise();
  EXPECT_EQ(NextChange(), (Delivered{{1, 2}, {"5:100", "3:7"}}));
  ExpectNoChange();
  ASSERT_TRUE(host_->Command("update Flow 105"));
  ExpectNoChange();
  ASSERT_TRUE(host_->Command("update Flow 120"));
  EXPECT_EQ(NextChange(), (Delivered{{1}, {"5:120"}}));
}

TEST_F(Deadband, GroupDeadbandHoldsBackSmallNumericChanges) {
  StartWithDelivered(5);
  ASSERT_TRUE(host_->Command("update Flow 104"));
  ExpectNoChange();
  // 6 % away from the last delivered 100.
  ASSERT_TRUE(host_->Command("update Flow 106"));
  EXPECT_EQ(NextChange(), (Delivered{{1}, {"5:106"}}));
}

TEST_F(Deadband, ItemDeadbandOverridesTheGroups) {
  StartWithDelivered(5);
  auto deadbands = group_.Query<IOPCItemDeadbandMgt>();
  ASSERT_TRUE(deadbands);
  OPCHANDLE flow[] = {handles_.at(0)};
  FLOAT one[] = {1.0f};
  TaskMem<HRESULT> e;
  ASSERT_HR(deadbands->SetItemDeadband(1, flow, one, e.Put(1)), S_OK);
  EXPECT_EQ(CodesOf(e), Codes{S_OK});
  ASSERT_TRUE(host_->Command("update Flow 104"));
  EXPECT_EQ(NextChange(), (Delivered{{1}, {"5:104"}}));
}

TEST_F(Deadband, TextChangesIgnoreTheDeadband) {
  StartWithDelivered(99);
  ASSERT_TRUE(host_->Command("update Name alphb"));
  EXPECT_EQ(NextChange(), (Delivered{{3}, {"8:alphb"}}));
}

TEST_F(KeepAlive, ADeliveredChangePostponesTheNextOne) {
  StartWithDelivered();
  auto state2 = group_.Query<IOPCGroupStateMgt2>();
  ASSERT_TRUE(state2);
  DWORD revised = 0;
  ASSERT_HR(state2->SetKeepAlive(1500, &revised), S_OK);
  // Changes come faster than the keep-alive period: each one restarts it.
  for (int i = 1; i <= 6; ++i) {
    ASSERT_TRUE(host_->Command("update Flow " + std::to_string(100 + i)));
    PumpUntil([] { return false; }, 300);
  }
  ASSERT_FALSE(sink_->changes.empty());
  for (const Change& c : sink_->changes) EXPECT_EQ(c.clients.size(), 1u) << "a keep-alive came between changes";
  const ULONGLONG lastData = sink_->changes.back().at;
  const size_t before = sink_->changes.size();
  ASSERT_TRUE(WaitForChanges(before + 1, 5000)) << "no keep-alive after the changes stopped";
  const Change& keepAlive = sink_->changes[before];
  EXPECT_EQ(keepAlive.clients.size(), 0u);
  EXPECT_GE(keepAlive.at - lastData, 1300u);
}

TEST_F(KeepAlive, IdleConnectedGroupSendsEmptyCallbacksPeriodically) {
  StartWithDelivered();
  auto state2 = group_.Query<IOPCGroupStateMgt2>();
  ASSERT_TRUE(state2);
  DWORD revised = 0;
  const ULONGLONG set = GetTickCount64();
  ASSERT_HR(state2->SetKeepAlive(600, &revised), S_OK);
  EXPECT_EQ(revised, 600u);
  PumpUntil([] { return false; }, 2100);
  // Ticks at about 600, 1200 and 1800 ms.
  ASSERT_GE(sink_->changes.size(), 2u);
  EXPECT_LE(sink_->changes.size(), 4u);
  ULONGLONG previous = set;
  for (const Change& c : sink_->changes) {
    EXPECT_EQ(c.clients.size(), 0u);
    EXPECT_EQ(c.transid, 0u);
    EXPECT_EQ(c.group, kGroupClient);
    EXPECT_HR(c.masterQuality, S_OK);
    EXPECT_HR(c.masterError, S_OK);
    EXPECT_GE(c.at - previous, 450u);
    previous = c.at;
  }
}

}  // namespace
}  // namespace e2e
