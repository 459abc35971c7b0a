// Paging of IOPCBrowse::Browse in-process: pages of a size, the points that
// resume them, siblings that share a name ignoring case, filters, bad points,
// and what a page costs.
#include "browse_pages.h"

#include <gtest/gtest.h>

#include "eopc.h"
#include "host_port.h"
#include "opc_error.h"

using namespace quillon;

namespace {

class BrowsePages : public ::testing::Test {
 protected:
  void Children(std::initializer_list<const wchar_t*> names) {
    for (const wchar_t* name : names) root->AddChild(name);
  }
  static std::vector<std::wstring> Names(const BrowsePage& page) {
    std::vector<std::wstring> names;
    for (TOPCTag* child : page.children) names.push_back(child->Name());
    return names;
  }
  // Every name a client sees when it pages through the root's children by Size.
  std::vector<std::wstring> PageThrough(const BrowseFilter& filter, size_t size, int* pages) {
    std::vector<std::wstring> seen;
    std::wstring point;
    *pages = 0;
    for (;;) {
      BrowsePage page = PageOf(*root, filter, point, size);
      ++*pages;
      for (const std::wstring& name : Names(page)) seen.push_back(name);
      if (!page.next || *pages > 100) return seen;
      point = *page.next;
    }
  }

  const BrowseFilter all = [](TOPCTag&) { return true; };
  HostPort host;
  std::shared_ptr<TOPCTag> root =
      std::make_shared<TOPCTag>(std::make_shared<const TagContext>(TagContext{host, 10}), nullptr, L"ROOT");
};

}  // namespace

TEST_F(BrowsePages, NoLimitOrAnAmpleOneGivesEverythingWithoutAPoint) {
  Children({L"A", L"B", L"C"});
  for (size_t max : {size_t(0), size_t(3), size_t(10)}) {
    BrowsePage page = PageOf(*root, all, L"", max);
    EXPECT_EQ(Names(page), (std::vector<std::wstring>{L"A", L"B", L"C"}));
    EXPECT_FALSE(page.next);
  }
}

TEST_F(BrowsePages, PagesResumeAfterTheChildThatEndedThePreviousOne) {
  Children({L"A", L"B", L"C", L"D", L"E"});
  BrowsePage first = PageOf(*root, all, L"", 2);
  EXPECT_EQ(Names(first), (std::vector<std::wstring>{L"A", L"B"}));
  ASSERT_TRUE(first.next);
  EXPECT_EQ(*first.next, L"B");
  BrowsePage second = PageOf(*root, all, L"b", 2);  // names compare ignoring case
  EXPECT_EQ(Names(second), (std::vector<std::wstring>{L"C", L"D"}));
  int pages = 0;
  EXPECT_EQ(PageThrough(all, 2, &pages), (std::vector<std::wstring>{L"A", L"B", L"C", L"D", L"E"}));
  EXPECT_EQ(pages, 3);
}

TEST_F(BrowsePages, SiblingsEqualIgnoringCaseArePagedOnceEachInOrder) {
  Children({L"x", L"X", L"x", L"y"});
  int pages = 0;
  EXPECT_EQ(PageThrough(all, 1, &pages), (std::vector<std::wstring>{L"x", L"X", L"x", L"y"}));
  EXPECT_EQ(pages, 4);
  // The first of the name resumes by its name alone, as the point a client expects.
  EXPECT_EQ(*PageOf(*root, all, L"", 1).next, L"x");
}

TEST_F(BrowsePages, FiltersDecideWhatIsListedAndWhichPointsAreValid) {
  Children({L"A1", L"B1", L"A2", L"B2", L"A3"});
  const BrowseFilter onlyA = [](TOPCTag& child) { return child.Name()[0] == L'A'; };
  int pages = 0;
  EXPECT_EQ(PageThrough(onlyA, 1, &pages), (std::vector<std::wstring>{L"A1", L"A2", L"A3"}));
  EXPECT_EQ(pages, 3);
  EXPECT_THROW(PageOf(*root, onlyA, L"B1", 1), EOPC);  // a child the filter leaves out
}

TEST_F(BrowsePages, ANameWhoseFirstSiblingIsFilteredOutResumesAfterTheListedOne) {
  Children({L"x", L"X", L"y"});
  TOPCTag* hidden = root->ChildAt(0);
  const BrowseFilter notFirst = [&](TOPCTag& child) { return &child != hidden; };
  BrowsePage first = PageOf(*root, notFirst, L"", 1);
  EXPECT_EQ(Names(first), std::vector<std::wstring>{L"X"});
  ASSERT_TRUE(first.next);
  EXPECT_EQ(Names(PageOf(*root, notFirst, *first.next, 1)), std::vector<std::wstring>{L"y"});
  EXPECT_EQ(Names(PageOf(*root, notFirst, L"x", 1)), std::vector<std::wstring>{L"y"});
}

TEST_F(BrowsePages, APointThatNamesNoListedChildIsRefused) {
  Children({L"A", L"B"});
  for (const wchar_t* point : {L"Z", L"\x01", L"\x01" L"9\x01" L"A", L"\x01" L"1\x01" L"A", L"\x01x\x01" L"A"}) {
    try {
      PageOf(*root, all, point, 1);
      ADD_FAILURE() << "accepted a bad point";
    } catch (const EOPC& e) {
      EXPECT_EQ(e.ErrorCode, OPC_E_INVALIDCONTINUATIONPOINT);
    }
  }
}

TEST_F(BrowsePages, ThePointOfTheLastChildResumesToAnEmptyPage) {
  Children({L"A", L"B"});
  BrowsePage page = PageOf(*root, all, L"B", 1);
  EXPECT_TRUE(page.children.empty());
  EXPECT_FALSE(page.next);
}

// The filters run for the children of the page (and one more, to know that
// more are left), not for every child before it.
TEST_F(BrowsePages, APageLooksAtItsOwnChildrenOnly) {
  for (int i = 0; i < 2000; ++i) root->AddChild(L"T" + std::to_wstring(i));
  size_t looked = 0;
  const BrowseFilter counting = [&](TOPCTag&) {
    ++looked;
    return true;
  };
  BrowsePage page = PageOf(*root, counting, L"T1500", 10);
  EXPECT_EQ(page.children.front()->Name(), L"T1501");
  EXPECT_EQ(page.children.size(), 10u);
  EXPECT_LE(looked, 12u);
}
