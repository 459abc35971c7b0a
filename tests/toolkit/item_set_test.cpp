// The item set of a group, in-process: handles, order of addition, and the
// pending list a tick takes.
#include "item_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "host_port.h"

using namespace quillon;

namespace {

class ItemSet : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const wchar_t* name : {L"A", L"B", L"C"}) {
      TOPCTag* tag = root->AddChild(name);
      tag->SetCanonicalType(VT_I4);
      tag->SetAccessRights(3);
      tags.push_back(tag);
    }
  }
  TOPCItem* Add(TOPCTag* tag, OPCHANDLE client = 0) {
    OPCITEMDEF def{};
    def.bActive = TRUE;
    def.hClient = client;
    return set.Add(tag->shared_from_this(), def);
  }
  static void Push(TOPCTag* tag, LONG value) {
    VARIANT v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    FILETIME now{};
    ASSERT_EQ(tag->Update(v, 0xC0, now), S_OK);
  }

  HostPort port;
  std::shared_ptr<TOPCTag> root =
      std::make_shared<TOPCTag>(std::make_shared<const TagContext>(TagContext{port, 10}), nullptr, L"ROOT");
  std::vector<TOPCTag*> tags;
  TItemSet set;
};

}  // namespace

TEST_F(ItemSet, HandlesFindTheirItemsUntilRemoved) {
  TOPCItem* a = Add(tags[0], 1);
  TOPCItem* b = Add(tags[0], 2);  // the same tag twice: two items
  ASSERT_NE(a->ServerHandle(), b->ServerHandle());
  EXPECT_EQ(set.Find(a->ServerHandle()), a);
  EXPECT_EQ(set.Find(b->ServerHandle()), b);
  EXPECT_EQ(set.Find(0), nullptr);
  const OPCHANDLE gone = a->ServerHandle();
  set.Remove(*a);
  EXPECT_EQ(set.Find(gone), nullptr);
  EXPECT_EQ(set.Find(b->ServerHandle()), b);
  EXPECT_EQ(set.Size(), 1u);
}

TEST_F(ItemSet, NewItemsArePendingOnceInOrderOfAddition) {
  TOPCItem* c = Add(tags[2]);
  TOPCItem* a = Add(tags[0]);
  TOPCItem* b = Add(tags[1]);
  EXPECT_EQ(set.TakePending(), (std::vector<TOPCItem*>{c, a, b}));
  EXPECT_TRUE(set.TakePending().empty());
}

TEST_F(ItemSet, ATagChangeQueuesItsItemsOnceInOrderOfAddition) {
  TOPCItem* a = Add(tags[0]);
  TOPCItem* b = Add(tags[1]);
  TOPCItem* a2 = Add(tags[0]);
  set.TakePending();
  Push(tags[0], 5);
  Push(tags[1], 6);
  Push(tags[0], 7);  // a second change of the same tag before the tick
  EXPECT_EQ(set.TakePending(), (std::vector<TOPCItem*>{a, b, a2}));
  Push(tags[2], 1);  // no item on it
  EXPECT_TRUE(set.TakePending().empty());
}

TEST_F(ItemSet, ARemovedItemLeavesThePendingList) {
  TOPCItem* a = Add(tags[0]);
  TOPCItem* b = Add(tags[1]);
  set.Remove(*a);
  EXPECT_EQ(set.TakePending(), (std::vector<TOPCItem*>{b}));
  set.Remove(*b);
  Push(tags[1], 3);  // its tag no longer knows it
  EXPECT_TRUE(set.TakePending().empty());
}

TEST_F(ItemSet, MarkAllInitialMakesEveryItemReportWhateverItsTagDid) {
  TOPCItem* a = Add(tags[0]);
  TOPCItem* b = Add(tags[1]);
  for (TOPCItem* item : set.TakePending()) EXPECT_TRUE(item->HasChanged(0));
  EXPECT_FALSE(a->HasChanged(0));
  set.MarkAllInitial();
  EXPECT_EQ(set.TakePending(), (std::vector<TOPCItem*>{a, b}));
  EXPECT_TRUE(a->HasChanged(0));
  EXPECT_TRUE(b->HasChanged(0));
}

TEST_F(ItemSet, ReadableLeavesOutWriteOnlyAndRemovedTags) {
  TOPCItem* a = Add(tags[0]);
  Add(tags[1]);
  TOPCItem* c = Add(tags[2]);
  tags[1]->SetAccessRights(OPC_WRITEABLE);
  root->DeleteChild(size_t(root->IndexOfChildNode(tags[0])));
  EXPECT_TRUE(a->TagRemoved());
  EXPECT_EQ(set.Readable(), (std::vector<TOPCItem*>{c}));
}

TEST_F(ItemSet, ClearDropsItemsAndPendingWithoutTouchingTheTags) {
  Add(tags[0]);
  Add(tags[1]);
  set.Clear();
  EXPECT_TRUE(set.Empty());
  EXPECT_TRUE(set.TakePending().empty());
  Push(tags[0], 9);  // no observer left on the tag
  EXPECT_TRUE(set.TakePending().empty());
  EXPECT_NE(set.ItemLock(), nullptr);
}

namespace {

// The items of the set, in the order it walks them.
std::vector<TOPCItem*> Walk(const TItemSet& set) {
  std::vector<TOPCItem*> items;
  set.ForEach([&](TOPCItem& item) { items.push_back(&item); });
  return items;
}

}  // namespace

// Removal leaves gaps that compaction closes; whichever the order of removal,
// the rest keep their handles, their order, and their places on the pending list.
TEST_F(ItemSet, RemovalInAnyOrderKeepsTheRestFoundAndInOrder) {
  constexpr int kItems = 300;
  const std::vector<std::string> orders = {"first", "last", "shuffled"};
  for (const std::string& order : orders) {
    SCOPED_TRACE(order);
    std::vector<TOPCItem*> live;
    for (int i = 0; i < kItems; ++i) live.push_back(Add(tags[i % 3], OPCHANDLE(i)));
    set.TakePending();
    std::vector<TOPCItem*> doomed = live;
    if (order == "last") std::reverse(doomed.begin(), doomed.end());
    if (order == "shuffled") std::shuffle(doomed.begin(), doomed.end(), std::mt19937(7));
    for (int k = 0; k < kItems; ++k) {
      TOPCItem* gone = doomed[size_t(k)];
      const OPCHANDLE handle = gone->ServerHandle();
      std::erase(live, gone);
      // A tag change now and then puts the rest on the pending list first.
      if (k % 50 == 0) Push(tags[0], k);
      set.Remove(*gone);
      ASSERT_EQ(set.Find(handle), nullptr);
      if (k % 37 == 0 || k > kItems - 5) {
        ASSERT_EQ(Walk(set), live);
        for (TOPCItem* item : live) ASSERT_EQ(set.Find(item->ServerHandle()), item);
      }
      if (k % 50 == 0) {
        std::vector<TOPCItem*> expected;
        for (TOPCItem* item : live)
          if (&item->Tag() == tags[0]) expected.push_back(item);
        ASSERT_EQ(set.TakePending(), expected);
      }
    }
    EXPECT_TRUE(set.Empty());
  }
}

TEST_F(ItemSet, ADetachedItemLivesMarkedUntilDroppedAndIsFoundNoMore) {
  TOPCItem* a = Add(tags[0]);
  TOPCItem* b = Add(tags[1]);
  const OPCHANDLE handle = a->ServerHandle();
  std::unique_ptr<TOPCItem> taken = set.Detach(*a);
  ASSERT_EQ(taken.get(), a);
  EXPECT_TRUE(a->Detached());
  EXPECT_FALSE(b->Detached());
  EXPECT_EQ(set.Find(handle), nullptr);
  EXPECT_EQ(set.Detach(*a), nullptr);  // not in the set twice
  EXPECT_EQ(Walk(set), std::vector<TOPCItem*>{b});
  taken.reset();
  EXPECT_EQ(set.TakePending(), std::vector<TOPCItem*>{b});
}
