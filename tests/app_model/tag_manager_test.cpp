#include "tag_manager.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tag.h"

namespace opclumbra {
namespace {

TEST(TagManager, CreationValues) {
  TTagManager manager;
  EXPECT_EQ(manager.Name(), u"OPCLumbra");
  EXPECT_EQ(manager.ClassName(), u"TTagManager");
  EXPECT_EQ(manager.ClassID(), DefaultClassID);
  EXPECT_EQ(manager.ProgID(), u"OPC.Lumbra.1");
  EXPECT_EQ(manager.Description(), u"OPC Lumbra");
  EXPECT_EQ(manager.UpdateRate(), 1000);
  EXPECT_EQ(manager.PassWord(), u"MERIDO_cfg");
  EXPECT_EQ(manager.Owner(), nullptr);
  EXPECT_TRUE(manager.IsInline());
  EXPECT_EQ(manager.ChildCount(), 0u);
}

TEST(TagManager, DefaultClassIdIsAGuidInRegistryForm) {
  ASSERT_EQ(DefaultClassID.size(), 38u);
  EXPECT_EQ(DefaultClassID.front(), u'{');
  EXPECT_EQ(DefaultClassID.back(), u'}');
  for (std::size_t i = 1; i < 37; ++i) {
    char16_t c = DefaultClassID[i];
    if (i == 9 || i == 14 || i == 19 || i == 24)
      EXPECT_EQ(c, u'-') << i;
    else
      EXPECT_TRUE((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')) << i;
  }
}

TEST(TagManager, TagCreationValues) {
  TTagManager manager;
  TTag& tag = TTag::Create(manager);
  EXPECT_EQ(tag.ClassName(), u"TTag");
  EXPECT_EQ(tag.DataType(), 0);
  EXPECT_EQ(tag.InitValue(), u"");
  EXPECT_EQ(tag.TagType(), TTag::Branch);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(tag.Value()));
  EXPECT_EQ(tag.Quality(), 0);
  EXPECT_EQ(tag.TimeStamp(), 0.0);
  EXPECT_EQ(tag.Handle(), nullptr);
}

TEST(TagManager, PropertiesArePlainStores) {
  TTagManager manager;
  manager.SetClassID(u"");
  manager.SetProgID(u"X.Y");
  manager.SetDescription(u"中文");
  manager.SetUpdateRate(-5);
  manager.SetPassWord(u"pw");
  EXPECT_EQ(manager.ClassID(), u"");
  EXPECT_EQ(manager.ProgID(), u"X.Y");
  EXPECT_EQ(manager.Description(), u"中文");
  EXPECT_EQ(manager.UpdateRate(), -5);
  EXPECT_EQ(manager.PassWord(), u"pw");
  TTag& tag = TTag::Create(manager);
  tag.SetDataType(65535);
  tag.SetInitValue(u"3.5");
  tag.SetTagType(TTag::Leaf);
  tag.SetValue(u"text");
  tag.SetQuality(192);
  tag.SetTimeStamp(45000.5);
  EXPECT_EQ(tag.DataType(), 65535);
  EXPECT_EQ(tag.InitValue(), u"3.5");
  EXPECT_EQ(tag.TagType(), 1);
  EXPECT_EQ(std::get<std::u16string>(tag.Value()), u"text");
  EXPECT_EQ(tag.Quality(), 192);
  EXPECT_EQ(tag.TimeStamp(), 45000.5);
}

TEST(TagManager, FindByHandleReturnsTheFirstMatchInDepthFirstPreOrder) {
  TTagManager manager;
  int h1 = 0, h2 = 0, h3 = 0;
  TTag& b1 = TTag::Create(manager);
  TTag& deep = TTag::Create(TTag::Create(b1));
  TTag& b2 = TTag::Create(manager);
  TTag& b2child = TTag::Create(b2);
  b1.SetHandle(&h1);
  deep.SetHandle(&h2);
  b2.SetHandle(&h2);  // after Deep in pre-order
  b2child.SetHandle(&h3);
  EXPECT_EQ(manager.FindByHandle(&h1), &b1);
  EXPECT_EQ(manager.FindByHandle(&h2), &deep);
  EXPECT_EQ(manager.FindByHandle(&h3), &b2child);
  b1.SetHandle(&h2);  // a parent precedes its children
  EXPECT_EQ(manager.FindByHandle(&h2), &b1);
  int unknown = 0;
  EXPECT_EQ(manager.FindByHandle(&unknown), nullptr);
}

// The lookup follows the tree: a tag is found by its newest handle only, no
// longer once destroyed (with its subtree), and by the manager its tree moved to.
TEST(TagManager, FindByHandleFollowsRegistrationsDeletionsAndSwaps) {
  TTagManager manager;
  int h1 = 0, h2 = 0, h3 = 0;
  TTag& branch = TTag::Create(manager);
  branch.SetName(u"B");
  TTag& leaf = TTag::Create(branch);
  TTag& other = TTag::Create(manager);
  other.SetName(u"O");
  branch.SetHandle(&h1);
  leaf.SetHandle(&h2);
  other.SetHandle(&h3);
  leaf.SetHandle(&h3);  // registered again: the old handle names it no more
  EXPECT_EQ(manager.FindByHandle(&h2), nullptr);
  EXPECT_EQ(manager.FindByHandle(&h3), &leaf);  // Leaf precedes Other in pre-order
  leaf.SetHandle(nullptr);
  EXPECT_EQ(manager.FindByHandle(&h3), &other);
  leaf.SetHandle(&h2);
  manager.DestroyChild(branch);
  EXPECT_EQ(manager.FindByHandle(&h1), nullptr);
  EXPECT_EQ(manager.FindByHandle(&h2), nullptr);
  {
    TTagManager loaded;
    loaded.Swap(manager);  // as a reload does, the old tree going with Loaded
    EXPECT_EQ(manager.FindByHandle(&h3), nullptr);
    EXPECT_EQ(loaded.FindByHandle(&h3), &other);
  }
  EXPECT_EQ(manager.FindByHandle(&h3), nullptr);
}

TEST(TagManager, NullHandleFindsNoTagEvenWhenTagsAreUnregistered) {
  TTagManager manager;
  TTag::Create(manager);
  EXPECT_EQ(manager.FindByHandle(nullptr), nullptr);
}

TEST(TagManager, SwapExchangesTheWholeConfiguration) {
  TTagManager a;
  TTagManager b;
  a.SetProgID(u"A.1");
  TTag& tagOfA = TTag::Create(a);
  tagOfA.SetName(u"T");
  TTag& grandChild = TTag::Create(tagOfA);
  b.SetName(u"Other");
  b.SetUpdateRate(5);
  a.Swap(b);
  EXPECT_EQ(a.Name(), u"Other");
  EXPECT_EQ(a.UpdateRate(), 5);
  EXPECT_EQ(a.ProgID(), u"OPC.Lumbra.1");
  EXPECT_EQ(a.ChildCount(), 0u);
  EXPECT_EQ(b.Name(), u"OPCLumbra");
  EXPECT_EQ(b.ProgID(), u"A.1");
  ASSERT_EQ(b.ChildCount(), 1u);
  EXPECT_EQ(&b.Child(0), &tagOfA);
  EXPECT_EQ(tagOfA.Owner(), &b);
  EXPECT_EQ(grandChild.Owner(), &tagOfA);
}

}  // namespace
}  // namespace opclumbra
