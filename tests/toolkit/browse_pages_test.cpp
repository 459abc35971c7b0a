// Paging of IOPCBrowse::Browse in-process: pages of a size, the points that
// resume them, siblings that share a name ignoring case, and bad points.
#include "browse_pages.h"

#include <gtest/gtest.h>

#include "eopc.h"
#include "host_port.h"
#include "opc_error.h"

using namespace quillon;

namespace {

class BrowsePages : public ::testing::Test {
 protected:
  std::vector<TOPCTag*> Children(std::initializer_list<const wchar_t*> names) {
    std::vector<TOPCTag*> listed;
    for (const wchar_t* name : names) listed.push_back(root->AddChild(name));
    return listed;
  }
  // Every name a client sees when it pages through Listed by Size.
  static std::vector<std::wstring> PageThrough(const std::vector<TOPCTag*>& listed, size_t size, int* pages) {
    std::vector<std::wstring> seen;
    std::wstring point;
    *pages = 0;
    for (;;) {
      BrowsePage page = PageOf(listed, point, size);
      ++*pages;
      for (size_t i = 0; i < page.count; ++i) seen.push_back(listed[page.start + i]->Name());
      if (!page.next || *pages > 100) return seen;
      point = *page.next;
    }
  }

  HostPort host;
  std::shared_ptr<TOPCTag> root =
      std::make_shared<TOPCTag>(std::make_shared<const TagContext>(TagContext{host, 10}), nullptr, L"ROOT");
};

}  // namespace

TEST_F(BrowsePages, NoLimitOrAnAmpleOneGivesEverythingWithoutAPoint) {
  auto listed = Children({L"A", L"B", L"C"});
  for (size_t max : {size_t(0), size_t(3), size_t(10)}) {
    BrowsePage page = PageOf(listed, L"", max);
    EXPECT_EQ(page.start, 0u);
    EXPECT_EQ(page.count, 3u);
    EXPECT_FALSE(page.next);
  }
}

TEST_F(BrowsePages, PagesResumeAfterTheChildThatEndedThePreviousOne) {
  auto listed = Children({L"A", L"B", L"C", L"D", L"E"});
  BrowsePage first = PageOf(listed, L"", 2);
  EXPECT_EQ(first.count, 2u);
  ASSERT_TRUE(first.next);
  EXPECT_EQ(*first.next, L"B");
  BrowsePage second = PageOf(listed, L"b", 2);  // names compare ignoring case
  EXPECT_EQ(second.start, 2u);
  int pages = 0;
  EXPECT_EQ(PageThrough(listed, 2, &pages), (std::vector<std::wstring>{L"A", L"B", L"C", L"D", L"E"}));
  EXPECT_EQ(pages, 3);
}

TEST_F(BrowsePages, SiblingsEqualIgnoringCaseArePagedOnceEachInOrder) {
  auto listed = Children({L"x", L"X", L"x", L"y"});
  int pages = 0;
  EXPECT_EQ(PageThrough(listed, 1, &pages), (std::vector<std::wstring>{L"x", L"X", L"x", L"y"}));
  EXPECT_EQ(pages, 4);
}

TEST_F(BrowsePages, APointThatNamesNoListedChildIsRefused) {
  auto listed = Children({L"A", L"B"});
  for (const wchar_t* point : {L"Z", L"\x01", L"\x01" L"9\x01" L"A", L"\x01" L"1\x01" L"A", L"\x01x\x01" L"A"}) {
    try {
      PageOf(listed, point, 1);
      ADD_FAILURE() << "accepted a bad point";
    } catch (const EOPC& e) {
      EXPECT_EQ(e.ErrorCode, OPC_E_INVALIDCONTINUATIONPOINT);
    }
  }
}

TEST_F(BrowsePages, ThePointOfTheLastChildResumesToAnEmptyPage) {
  auto listed = Children({L"A", L"B"});
  BrowsePage page = PageOf(listed, L"B", 1);
  EXPECT_EQ(page.start, 2u);
  EXPECT_EQ(page.count, 0u);
  EXPECT_FALSE(page.next);
}
