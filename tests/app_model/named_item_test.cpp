#include <gtest/gtest.h>

#include <stdexcept>

#include "name_error.h"
#include "tag.h"
#include "tag_manager.h"

namespace opclumbra {
namespace {

TEST(NamedItem, NewTagIsUnnamedInlineAndLastChildOfItsOwner) {
  TTagManager manager;
  TTag& first = TTag::Create(manager);
  TTag& second = TTag::Create(manager);
  EXPECT_TRUE(second.Name().empty());
  EXPECT_TRUE(second.IsInline());
  EXPECT_EQ(second.Owner(), &manager);
  ASSERT_EQ(manager.ChildCount(), 2u);
  EXPECT_EQ(&manager.Child(0), &first);
  EXPECT_EQ(&manager.Child(1), &second);
  TTag& nested = TTag::Create(first);
  EXPECT_EQ(nested.Owner(), &first);
  EXPECT_EQ(&first.Child(0), &nested);
  EXPECT_THROW(first.Child(1), std::out_of_range);
}

TEST(NamedItem, AcceptsIdentifiers) {
  TTagManager manager;
  TTag& tag = TTag::Create(manager);
  for (std::u16string_view name : {u"a", u"_", u"_1", u"Pump2", u"Z_9_z"}) {
    tag.SetName(name);
    EXPECT_EQ(tag.Name(), name);
  }
}

TEST(NamedItem, RefusesNonIdentifiersAndKeepsThePreviousName) {
  TTagManager manager;
  TTag& tag = TTag::Create(manager);
  tag.SetName(u"Speed");
  for (std::u16string_view name : {u"", u"1abc", u"a b", u"a-b", u"a.b", u" a", u"温度", u"é"}) {
    try {
      tag.SetName(name);
      ADD_FAILURE() << "accepted a name that is not an identifier";
    } catch (const ENameError& e) {
      EXPECT_EQ(e.Message(), u"'" + std::u16string(name) + u"' is not a valid component name");
    }
    EXPECT_EQ(tag.Name(), u"Speed");
  }
}

TEST(NamedItem, AnUnnamedTagRefusesTheEmptyName) {
  TTagManager manager;
  TTag& tag = TTag::Create(manager);
  EXPECT_THROW(tag.SetName(u""), ENameError);
}

TEST(NamedItem, RefusalTextIsAlsoGivenInUtf8) {
  TTagManager manager;
  TTag& tag = TTag::Create(manager);
  try {
    tag.SetName(u"温度");
    FAIL();
  } catch (const ENameError& e) {
    EXPECT_STREQ(e.what(), "'\xE6\xB8\xA9\xE5\xBA\xA6' is not a valid component name");
  }
}

TEST(NamedItem, RefusesANameASiblingHasWhateverItsCase) {
  TTagManager manager;
  TTag& branch = TTag::Create(manager);
  branch.SetName(u"B");
  TTag::Create(branch).SetName(u"A");
  TTag& second = TTag::Create(branch);
  second.SetName(u"C");
  for (std::u16string_view name : {u"A", u"a"}) {
    try {
      second.SetName(name);
      ADD_FAILURE() << "accepted a sibling's name";
    } catch (const ENameError& e) {
      EXPECT_EQ(e.Message(), u"A component named " + std::u16string(name) + u" already exists");
    }
    EXPECT_EQ(second.Name(), u"C");
  }
}

TEST(NamedItem, MayChangeTheCaseOfItsOwnName) {
  TTagManager manager;
  TTag& tag = TTag::Create(manager);
  tag.SetName(u"pump");
  tag.SetName(u"PUMP");
  EXPECT_EQ(tag.Name(), u"PUMP");
}

TEST(NamedItem, SameNameUnderDifferentOwnersWithTheirOwnPaths) {
  TTagManager manager;
  TTag& b1 = TTag::Create(manager);
  b1.SetName(u"B1");
  TTag& b2 = TTag::Create(manager);
  b2.SetName(u"B2");
  TTag& a1 = TTag::Create(b1);
  a1.SetName(u"A");
  TTag& a2 = TTag::Create(b2);
  a2.SetName(u"A");
  EXPECT_EQ(a1.NamePath(), u"B1.A");
  EXPECT_EQ(a2.NamePath(), u"B2.A");
  EXPECT_THROW(TTag::Create(b1).SetName(u"A"), ENameError);
}

TEST(NamedItem, NamePathJoinsOwnerPathsButNotTheManager) {
  TTagManager manager;
  EXPECT_EQ(manager.NamePath(), u"");
  TTag& area = TTag::Create(manager);
  area.SetName(u"Area1");
  TTag& pump = TTag::Create(area);
  pump.SetName(u"Pump2");
  TTag& speed = TTag::Create(pump);
  speed.SetName(u"Speed");
  EXPECT_EQ(area.NamePath(), u"Area1");
  EXPECT_EQ(speed.NamePath(), u"Area1.Pump2.Speed");
}

TEST(NamedItem, FindChildComparesNamesWithoutCase) {
  TTagManager manager;
  TTag& tag = TTag::Create(manager);
  tag.SetName(u"Level");
  EXPECT_EQ(manager.FindChild(u"LEVEL"), &tag);
  EXPECT_EQ(manager.FindChild(u"Lev"), nullptr);
}

TEST(NamedItem, DestroyChildDestroysTheSubtreeAndKeepsTheOrderOfTheRest) {
  TTagManager manager;
  TTag& a = TTag::Create(manager);
  a.SetName(u"A");
  TTag& b = TTag::Create(manager);
  b.SetName(u"B");
  TTag& c = TTag::Create(manager);
  c.SetName(u"C");
  int marker = 0;
  TTag::Create(TTag::Create(b)).SetHandle(&marker);
  ASSERT_NE(manager.FindByHandle(&marker), nullptr);
  manager.DestroyChild(b);
  ASSERT_EQ(manager.ChildCount(), 2u);
  EXPECT_EQ(&manager.Child(0), &a);
  EXPECT_EQ(&manager.Child(1), &c);
  EXPECT_EQ(manager.FindByHandle(&marker), nullptr);
  // The name is free again.
  TTag::Create(manager).SetName(u"B");
}

TEST(NamedItem, DestroyChildRefusesAComponentItDoesNotOwn) {
  TTagManager manager;
  TTag& a = TTag::Create(manager);
  TTag& nested = TTag::Create(a);
  EXPECT_THROW(manager.DestroyChild(nested), std::invalid_argument);
  EXPECT_EQ(a.ChildCount(), 1u);
}

}  // namespace
}  // namespace opclumbra
