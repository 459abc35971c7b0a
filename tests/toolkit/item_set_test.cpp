// The item set of a group, in-process: handles, order of addition, and the
// pending list a tick takes.
#include "item_set.h"

#include <gtest/gtest.h>

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
