// Asynchronous IO of a group seen by an out-of-process client: what the
// requests answer at once, what arrives later through IOPCDataCallback, and
// how cancellation, item removal and re-entrant requests meet the queue.
//
// A request that must find its transaction still queued is made from inside
// the completion callback of another read (see WhileServerWaits): the
// server's thread is then blocked in that outgoing call and dispatches only
// incoming COM calls, so the posted message that would execute the new
// transaction cannot run in between. Made from outside, the server may
// dispatch that message before the client's next call arrives, and the
// outcome would depend on timing.
#include "opc_client.h"

#include <map>

namespace e2e {
namespace {

using Strings = std::vector<std::string>;
using Handles = std::vector<OPCHANDLE>;

constexpr WORD kGood = 0xC0;
constexpr WORD kOutOfService = 0x1C;
constexpr OPCHANDLE kGroupClient = 0x55;
constexpr DWORD kCarrierId = 1000;


// One OnReadComplete, OnDataChange or OnWriteComplete as the client got it.
struct Completion {
  DWORD transid;
  OPCHANDLE group;
  HRESULT masterQuality, masterError;
  Handles clients;
  Strings values;
  std::vector<WORD> qualities;
  Codes errors;
};

// Records every callback. A hook registered for a transaction id runs inside
// that transaction's OnReadComplete, once.
class RecordingSink : public ComObject<IOPCDataCallback> {
 public:
  STDMETHODIMP OnDataChange(DWORD transid, OPCHANDLE group, HRESULT masterQuality, HRESULT masterError, DWORD count,
                            OPCHANDLE* clients, VARIANT* values, WORD* qualities, FILETIME*,
                            HRESULT* errors) override {
    changes.push_back(Record(transid, group, masterQuality, masterError, count, clients, values, qualities, errors));
    return S_OK;
  }
  STDMETHODIMP OnReadComplete(DWORD transid, OPCHANDLE group, HRESULT masterQuality, HRESULT masterError,
                              DWORD count, OPCHANDLE* clients, VARIANT* values, WORD* qualities, FILETIME*,
                              HRESULT* errors) override {
    reads.push_back(Record(transid, group, masterQuality, masterError, count, clients, values, qualities, errors));
    if (auto it = hooks.find(transid); it != hooks.end()) {
      auto hook = std::move(it->second);
      hooks.erase(it);
      hook();
    }
    return S_OK;
  }
  STDMETHODIMP OnWriteComplete(DWORD transid, OPCHANDLE group, HRESULT masterError, DWORD count,
                               OPCHANDLE* clients, HRESULT* errors) override {
    writes.push_back(Record(transid, group, S_OK, masterError, count, clients, nullptr, nullptr, errors));
    return S_OK;
  }
  STDMETHODIMP OnCancelComplete(DWORD transid, OPCHANDLE group) override {
    cancels.emplace_back(transid, group);
    return S_OK;
  }

  // The read completions of one transaction id.
  std::vector<Completion> ReadsOf(DWORD transid) const {
    std::vector<Completion> found;
    for (const auto& c : reads)
      if (c.transid == transid) found.push_back(c);
    return found;
  }

  std::vector<Completion> reads, changes, writes;
  std::vector<std::pair<DWORD, OPCHANDLE>> cancels;
  std::map<DWORD, std::function<void()>> hooks;

 private:
  static Completion Record(DWORD transid, OPCHANDLE group, HRESULT mq, HRESULT me, DWORD count, OPCHANDLE* clients,
                           VARIANT* values, WORD* qualities, HRESULT* errors) {
    Completion c{transid, group, mq, me, {}, {}, {}, {}};
    for (DWORD i = 0; i < count; ++i) {
      c.clients.push_back(clients[i]);
      if (values) c.values.push_back(Shown(values[i]));
      if (qualities) c.qualities.push_back(qualities[i]);
      c.errors.push_back(errors[i]);
    }
    return c;
  }
};


// Long enough for a posted message the server had queued to be dispatched
// and its callback to reach us.
constexpr DWORD kSettle = 500;

class AsyncFixture : public HostedServer {
 protected:
  // Two readable and writable tags and one write-only tag.
  std::vector<std::string> Tags() const override { return {"Num.A 3 3 7", "Num.B 3 3 8", "Num.W 3 2 1"}; }

  void SetUp() override {
    HostedServer::SetUp();
    if (HasFatalFailure()) return;
    OPCHANDLE server = 0;
    DWORD revised = 0;
    ASSERT_HR(server_->AddGroup(L"Async", FALSE, 1000, kGroupClient, nullptr, nullptr, 0, &server, &revised,
                                __uuidof(IOPCGroupStateMgt), group_.PutUnknown()),
              S_OK);
    items_ = group_.Query<IOPCItemMgt>();
    async_ = group_.Query<IOPCAsyncIO2>();
    async3_ = group_.Query<IOPCAsyncIO3>();
    ASSERT_TRUE(items_ && async_ && async3_);
    ItemDefs defs;
    defs.Add(L"Num.A", VT_EMPTY, 1).Add(L"Num.B", VT_EMPTY, 2).Add(L"Num.W", VT_EMPTY, 3);
    ItemResults r;
    ASSERT_HR(items_->AddItems(defs.Count(), defs.Data(), r.results.Put(defs.Count()), r.errors.Put(defs.Count())),
              S_OK);
    a_ = r.results[0].hServer;
    b_ = r.results[1].hServer;
    w_ = r.results[2].hServer;
    ASSERT_HR(group_.Query<IConnectionPointContainer>()->FindConnectionPoint(IID_IOPCDataCallback, point_.Put()), S_OK);
    ASSERT_HR(point_->Advise(sink_.Get(), &cookie_), S_OK);
  }

  void TearDown() override {
    if (point_ && cookie_) {
      EXPECT_HR(point_->Unadvise(cookie_), S_OK);
    }
    point_.Reset();
    async3_.Reset();
    async_.Reset();
    items_.Reset();
    group_.Reset();
    HostedServer::TearDown();
  }

  HRESULT Read(Handles handles, DWORD transid, DWORD* cancelId, Codes* errors) {
    TaskMem<HRESULT> e;
    HRESULT hr = async_->Read(DWORD(handles.size()), handles.data(), transid, cancelId, e.Put(DWORD(handles.size())));
    if (errors) *errors = CodesOf(e);
    return hr;
  }

  // Runs Fn while the server's thread waits in the OnReadComplete of a
  // carrier read of A; answers once that completion has arrived.
  void WhileServerWaits(std::function<void()> fn) {
    sink_->hooks[kCarrierId] = std::move(fn);
    DWORD cancelId = 0;
    ASSERT_HR(Read({a_}, kCarrierId, &cancelId, nullptr), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return !sink_->ReadsOf(kCarrierId).empty(); }, 5000)) << "no carrier completion";
  }

  bool WaitForReads(size_t n) {
    return PumpUntil([&] { return sink_->reads.size() >= n; }, 5000);
  }

  ComPtr<RecordingSink> sink_ = MakeCom<RecordingSink>();
  ComPtr<IOPCGroupStateMgt> group_;
  ComPtr<IOPCItemMgt> items_;
  ComPtr<IOPCAsyncIO2> async_;
  ComPtr<IOPCAsyncIO3> async3_;
  ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
  OPCHANDLE a_ = 0, b_ = 0, w_ = 0;
};

class AsyncRead : public AsyncFixture {};
class AsyncCancel : public AsyncFixture {};
class AsyncRefresh : public AsyncFixture {};
class AsyncWrite : public AsyncFixture {};
class AsyncEnable : public AsyncFixture {};

TEST_F(AsyncRead, ClientTransactionIdIsTheCancelIdAndTheCompletionsId) {
  DWORD cancelId = 0;
  Codes errors;
  ASSERT_HR(Read({a_, b_}, 7, &cancelId, &errors), S_OK);
  EXPECT_EQ(cancelId, 7u);
  EXPECT_EQ(errors, (Codes{S_OK, S_OK}));
  ASSERT_TRUE(WaitForReads(1));
  const Completion& c = sink_->reads[0];
  EXPECT_EQ(c.transid, 7u);
  EXPECT_EQ(c.group, kGroupClient);
  EXPECT_HR(c.masterQuality, S_OK);
  EXPECT_HR(c.masterError, S_OK);
  EXPECT_EQ(c.clients, (Handles{1, 2}));
  // A device read: the host answers the number of its reads so far.
  EXPECT_EQ(c.values, (Strings{"3:1", "3:2"}));
  EXPECT_EQ(c.qualities, (std::vector<WORD>{kGood, kGood}));
  EXPECT_EQ(c.errors, (Codes{S_OK, S_OK}));
  EXPECT_EQ(Lines("read "), (Strings{"read Num.A", "read Num.B"}));
  PumpUntil([] { return false; }, kSettle);
  EXPECT_EQ(sink_->reads.size(), 1u);
  EXPECT_TRUE(sink_->changes.empty());
  EXPECT_TRUE(sink_->cancels.empty());
}

TEST_F(AsyncRead, ZeroTransactionIdsBecomeDistinctToolkitIdsThatTheCompletionsCarry) {
  DWORD first = 0, second = 0;
  ASSERT_HR(Read({a_}, 0, &first, nullptr), S_OK);
  ASSERT_HR(Read({b_}, 0, &second, nullptr), S_OK);
  EXPECT_NE(first, 0u);
  EXPECT_NE(second, 0u);
  EXPECT_NE(first, second);
  // Toolkit-made ids come from a range of their own, above any small id a
  // client is likely to choose.
  EXPECT_GE(first, 0x80000000u);
  EXPECT_GE(second, 0x80000000u);
  ASSERT_TRUE(WaitForReads(2));
  EXPECT_EQ(sink_->ReadsOf(first).size(), 1u);
  EXPECT_EQ(sink_->ReadsOf(second).size(), 1u);
  ASSERT_EQ(sink_->ReadsOf(first).size(), 1u);
  EXPECT_EQ(sink_->ReadsOf(first)[0].clients, Handles{1});
}

TEST_F(AsyncRead, InvalidHandleIsRejectedAndTheOthersAreRead) {
  DWORD cancelId = 0;
  Codes errors;
  ASSERT_HR(Read({a_, 0, b_}, 3, &cancelId, &errors), S_FALSE);
  EXPECT_EQ(errors, (Codes{S_OK, OPC_E_INVALIDHANDLE, S_OK}));
  EXPECT_EQ(cancelId, 3u);
  ASSERT_TRUE(WaitForReads(1));
  const Completion& c = sink_->reads[0];
  EXPECT_EQ(c.transid, 3u);
  EXPECT_EQ(c.clients, (Handles{1, 2}));
  EXPECT_EQ(c.errors, (Codes{S_OK, S_OK}));
  EXPECT_HR(c.masterError, S_OK);
}

TEST_F(AsyncRead, AllHandlesRejectedMakesNoTransaction) {
  DWORD cancelId = 0xDEAD;
  Codes errors;
  ASSERT_HR(Read({0, w_}, 4, &cancelId, &errors), S_FALSE);
  EXPECT_EQ(errors, (Codes{OPC_E_INVALIDHANDLE, OPC_E_BADRIGHTS}));
  // The stub hands the server a zeroed out-parameter and the proxy copies it
  // back, so an id the server did not write arrives as 0.
  EXPECT_EQ(cancelId, 0u) << "no transaction, so no cancel id";
  PumpUntil([] { return false; }, kSettle);
  EXPECT_TRUE(sink_->reads.empty());
  EXPECT_HR(async_->Cancel2(4), E_FAIL);
  EXPECT_TRUE(Lines("read ").empty());
}

TEST_F(AsyncRead, WithoutDataCallbackIsRefused) {
  ASSERT_HR(point_->Unadvise(cookie_), S_OK);
  cookie_ = 0;
  DWORD cancelId = 0xDEAD;
  OPCHANDLE handles[] = {a_};
  TaskMem<HRESULT> errors;
  EXPECT_HR(async_->Read(1, handles, 5, &cancelId, errors.Put(1)), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(errors.Get(), nullptr);
  EXPECT_EQ(cancelId, 0u);
  PumpUntil([] { return false; }, kSettle);
  EXPECT_TRUE(Lines("read ").empty());
}

TEST_F(AsyncRead, NewRequestFromInsideACompletionIsServed) {
  HRESULT inner = E_UNEXPECTED;
  DWORD innerCancel = 0;
  sink_->hooks[7] = [&] { inner = Read({b_}, 8, &innerCancel, nullptr); };
  DWORD cancelId = 0;
  ASSERT_HR(Read({a_}, 7, &cancelId, nullptr), S_OK);
  ASSERT_TRUE(WaitForReads(2));
  EXPECT_HR(inner, S_OK);
  EXPECT_EQ(innerCancel, 8u);
  ASSERT_EQ(sink_->reads.size(), 2u);
  EXPECT_EQ(sink_->reads[0].transid, 7u);
  EXPECT_EQ(sink_->reads[1].transid, 8u);
  EXPECT_EQ(sink_->reads[1].clients, Handles{2});
}

TEST_F(AsyncRead, ItemRemovedWhileQueuedIsReportedInvalidHandle) {
  HRESULT read = E_UNEXPECTED, removed = E_UNEXPECTED;
  Codes removeErrors;
  WhileServerWaits([&] {
    DWORD cancelId = 0;
    read = Read({a_, b_}, 41, &cancelId, nullptr);
    TaskMem<HRESULT> e;
    OPCHANDLE gone[] = {a_};
    removed = items_->RemoveItems(1, gone, e.Put(1));
    removeErrors = CodesOf(e);
  });
  EXPECT_HR(read, S_OK);
  EXPECT_HR(removed, S_OK);
  EXPECT_EQ(removeErrors, Codes{S_OK});
  ASSERT_TRUE(PumpUntil([&] { return !sink_->ReadsOf(41).empty(); }, 5000));
  const Completion c = sink_->ReadsOf(41)[0];
  EXPECT_EQ(c.clients, (Handles{1, 2}));
  EXPECT_EQ(c.errors, (Codes{OPC_E_INVALIDHANDLE, S_OK}));
  EXPECT_HR(c.masterError, S_FALSE);
  // The carrier read A once; the queued read asked the host for B only.
  EXPECT_EQ(Lines("read "), (Strings{"read Num.A", "read Num.B"}));
}

TEST_F(AsyncCancel, QueuedReadIsRemovedAndCancelCompleteArrives) {
  HRESULT read = E_UNEXPECTED, cancel = E_UNEXPECTED;
  DWORD cancelId = 0;
  WhileServerWaits([&] {
    read = Read({b_}, 7, &cancelId, nullptr);
    cancel = async_->Cancel2(7);
  });
  EXPECT_HR(read, S_OK);
  EXPECT_EQ(cancelId, 7u);
  EXPECT_HR(cancel, S_OK);
  PumpUntil([] { return false; }, kSettle);
  EXPECT_EQ(sink_->cancels, (std::vector<std::pair<DWORD, OPCHANDLE>>{{7, kGroupClient}}));
  EXPECT_TRUE(sink_->ReadsOf(7).empty());
  // Only the carrier's read reached the host.
  EXPECT_EQ(Lines("read "), Strings{"read Num.A"});
}

TEST_F(AsyncCancel, SameIdTwiceCancelsTheOlderOnly) {
  HRESULT cancel = E_UNEXPECTED;
  WhileServerWaits([&] {
    DWORD ignored = 0;
    EXPECT_HR(Read({a_}, 5, &ignored, nullptr), S_OK);
    EXPECT_HR(Read({b_}, 5, &ignored, nullptr), S_OK);
    cancel = async_->Cancel2(5);
  });
  EXPECT_HR(cancel, S_OK);
  ASSERT_TRUE(PumpUntil([&] { return !sink_->ReadsOf(5).empty(); }, 5000));
  PumpUntil([] { return false; }, kSettle);
  const auto left = sink_->ReadsOf(5);
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].clients, Handles{2}) << "the newer read (of B) is the one left";
  EXPECT_EQ(sink_->cancels.size(), 1u);
}

TEST_F(AsyncCancel, CompletedTransactionCannotBeCancelled) {
  DWORD cancelId = 0;
  ASSERT_HR(Read({a_}, 7, &cancelId, nullptr), S_OK);
  ASSERT_TRUE(WaitForReads(1));
  EXPECT_HR(async_->Cancel2(7), E_FAIL);
  PumpUntil([] { return false; }, kSettle);
  EXPECT_TRUE(sink_->cancels.empty());
}

TEST_F(AsyncCancel, CancelFromInsideItsOwnCompletionFails) {
  HRESULT cancel = E_UNEXPECTED;
  sink_->hooks[7] = [&] { cancel = async_->Cancel2(7); };
  DWORD cancelId = 0;
  ASSERT_HR(Read({a_}, 7, &cancelId, nullptr), S_OK);
  ASSERT_TRUE(WaitForReads(1));
  EXPECT_HR(cancel, E_FAIL);
  PumpUntil([] { return false; }, kSettle);
  EXPECT_TRUE(sink_->cancels.empty());
  EXPECT_EQ(sink_->reads.size(), 1u);
}

TEST_F(AsyncRefresh, CacheRefreshOfInactiveGroupDeliversAllReadableItemsOutOfService) {
  DWORD cancelId = 0;
  ASSERT_HR(async_->Refresh2(OPC_DS_CACHE, 21, &cancelId), S_OK);
  EXPECT_EQ(cancelId, 21u);
  ASSERT_TRUE(PumpUntil([&] { return !sink_->changes.empty(); }, 5000));
  const Completion& c = sink_->changes[0];
  EXPECT_EQ(c.transid, 21u);
  EXPECT_EQ(c.group, kGroupClient);
  // The write-only item is left out.
  EXPECT_EQ(c.clients, (Handles{1, 2}));
  EXPECT_EQ(c.qualities, (std::vector<WORD>{kOutOfService, kOutOfService}));
  EXPECT_TRUE(sink_->reads.empty());
  EXPECT_TRUE(Lines("read ").empty()) << "a cache refresh does not ask the host";

  EXPECT_HR(async3_->RefreshMaxAge(0, 22, &cancelId), E_FAIL);
}

TEST_F(AsyncRefresh, MaxAgeZeroOnActiveGroupReadsEveryReadableItemFromTheHost) {
  BOOL active = TRUE;
  DWORD revised = 0;
  ASSERT_HR(group_->SetState(nullptr, &revised, &active, nullptr, nullptr, nullptr, nullptr), S_OK);
  // Activation sends an update of its own; wait for it to be out of the way.
  ASSERT_TRUE(PumpUntil([&] { return !sink_->changes.empty(); }, 3000));
  sink_->changes.clear();
  DWORD cancelId = 0;
  ASSERT_HR(async3_->RefreshMaxAge(0, 22, &cancelId), S_OK);
  EXPECT_EQ(cancelId, 22u);
  ASSERT_TRUE(PumpUntil(
      [&] {
        for (const auto& c : sink_->changes)
          if (c.transid == 22) return true;
        return false;
      },
      5000));
  EXPECT_EQ(Lines("read "), (Strings{"read Num.A", "read Num.B"}));
  for (const auto& c : sink_->changes)
    if (c.transid == 22) {
      EXPECT_EQ(c.clients, (Handles{1, 2}));
      EXPECT_EQ(c.values, (Strings{"3:1", "3:2"}));
    }
}

TEST_F(AsyncWrite, HostWriteCallbackRunsOnlyAfterTheWriteCallReturned) {
  HRESULT write = E_UNEXPECTED;
  DWORD cancelId = 0;
  Codes errors;
  Strings writesRightAfter{"<not checked>"};
  WhileServerWaits([&] {
    OPCHANDLE handles[] = {w_};
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_I4;
    V_I4(&value) = 42;
    TaskMem<HRESULT> e;
    write = async_->Write(1, handles, &value, 31, &cancelId, e.Put(1));
    errors = CodesOf(e);
    writesRightAfter = Lines("write ");
  });
  EXPECT_HR(write, S_OK);
  EXPECT_EQ(cancelId, 31u);
  EXPECT_EQ(errors, Codes{S_OK});
  EXPECT_TRUE(writesRightAfter.empty()) << writesRightAfter.at(0);
  ASSERT_TRUE(PumpUntil([&] { return !sink_->writes.empty(); }, 5000));
  const Completion& c = sink_->writes[0];
  EXPECT_EQ(c.transid, 31u);
  EXPECT_EQ(c.group, kGroupClient);
  EXPECT_HR(c.masterError, S_OK);
  EXPECT_EQ(c.clients, Handles{3});
  EXPECT_EQ(c.errors, Codes{S_OK});
  EXPECT_EQ(Lines("write "), Strings{"write Num.W 3 42"});
}

TEST_F(AsyncEnable, EnabledAtCreationUntilSetEnableFalse) {
  BOOL enabled = 12345;
  ASSERT_HR(async_->GetEnable(&enabled), S_OK);
  EXPECT_EQ(enabled, -1);
  ASSERT_HR(async_->SetEnable(FALSE), S_OK);
  ASSERT_HR(async_->GetEnable(&enabled), S_OK);
  EXPECT_EQ(enabled, FALSE);
}

}  // namespace
}  // namespace e2e
