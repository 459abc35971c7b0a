// The transaction queues of a group, in-process: ids, order, cancel and
// items that leave while their transactions wait.
#include "transaction_queues.h"

#include <gtest/gtest.h>

#include "host_port.h"

using namespace quillon;
using Kind = TTransactionQueues::Kind;

namespace {

class Queues : public ::testing::Test {
 protected:
  void SetUp() override {
    TOPCTag* tag = root->AddChild(L"A");
    tag->SetCanonicalType(VT_I4);
    OPCITEMDEF def{};
    def.hClient = 41;
    item = std::make_unique<TOPCItem>(tag->shared_from_this(), def);
  }
  std::unique_ptr<TAsyncData> Make(DWORD id) { return std::make_unique<TAsyncData>(id, std::vector{item.get()}, nullptr, nullptr); }

  HostPort port;
  std::shared_ptr<TOPCTag> root =
      std::make_shared<TOPCTag>(std::make_shared<const TagContext>(TagContext{port, 10}), nullptr, L"ROOT");
  std::unique_ptr<TOPCItem> item;
  TTransactionQueues queues;
};

}  // namespace

TEST_F(Queues, AClientsIdIsKeptAndZeroGetsDistinctIdsOfTheToolkitsRange) {
  EXPECT_EQ(queues.NewId(7), 7u);
  const DWORD first = queues.NewId(0), second = queues.NewId(0);
  EXPECT_GE(first, 0x80000000u);
  EXPECT_NE(first, second);
}

TEST_F(Queues, AnIdALiveTransactionCarriesIsNotHandedOutAgain) {
  const DWORD first = queues.NewId(0);
  // A client chose the id the toolkit would make next.
  queues.Push(Kind::Write, Make(first + 1));
  EXPECT_EQ(queues.NewId(0), first + 2);
}

TEST_F(Queues, HeadsComeOutInOrderPerQueue) {
  queues.Push(Kind::Read, Make(1));
  queues.Push(Kind::Read, Make(2));
  queues.Push(Kind::Refresh, Make(3));
  EXPECT_EQ(queues.PopHead(Kind::Read)->ID(), 1u);
  EXPECT_EQ(queues.PopHead(Kind::Write), nullptr);
  EXPECT_EQ(queues.PopHead(Kind::Read)->ID(), 2u);
  EXPECT_EQ(queues.PopHead(Kind::Read), nullptr);
  EXPECT_EQ(queues.Size(Kind::Refresh), 1u);
}

TEST_F(Queues, CancelTakesOutOnlyTheTransactionOfThatId) {
  queues.Push(Kind::Read, Make(1));
  queues.Push(Kind::Write, Make(2));
  queues.Push(Kind::Refresh, Make(3));
  EXPECT_TRUE(queues.Cancel(2));
  EXPECT_FALSE(queues.Cancel(2));
  EXPECT_FALSE(queues.Cancel(9));
  EXPECT_EQ(queues.Size(Kind::Write), 0u);
  EXPECT_EQ(queues.Size(Kind::Read), 1u);
  EXPECT_EQ(queues.Size(Kind::Refresh), 1u);
}

TEST_F(Queues, ADetachedItemIsNullInEveryWaitingTransactionButItsClientHandleStays) {
  queues.Push(Kind::Read, Make(1));
  queues.Push(Kind::Write, Make(2));
  item->SetDetached();
  queues.ForgetDetached();
  for (Kind kind : {Kind::Read, Kind::Write}) {
    auto t = queues.PopHead(kind);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->Item(0), nullptr);
    EXPECT_EQ(t->ClientHandles()[0], 41u);
  }
}

TEST_F(Queues, ClearEmptiesAllThree) {
  for (Kind kind : {Kind::Read, Kind::Write, Kind::Refresh}) queues.Push(kind, Make(queues.NewId(0)));
  queues.Clear();
  for (Kind kind : {Kind::Read, Kind::Write, Kind::Refresh}) EXPECT_EQ(queues.Size(kind), 0u);
}
