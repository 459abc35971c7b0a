// A list of groups in-process: lookups by handle and by name, the list's
// reference, and default names.
#include "group_list.h"

#include <gtest/gtest.h>

#include "group.h"
#include "host_port.h"

using namespace quillon;

namespace {

class GroupList : public ::testing::Test {
 protected:
  ComPtr<TGroup> Make(const wchar_t* name) {
    ComPtr<TGroup> g = MakeCom<TGroup>(context, nullptr);
    g->SetName(name);
    made.push_back(g);
    return g;
  }
  void TearDown() override {
    for (auto& g : made) g->Teardown();
  }

  HostPort host;
  std::shared_ptr<const GroupContext> context = std::make_shared<const GroupContext>(
      GroupContext{host, std::make_shared<AddressSpace>(host, 10), 10, 0, StreamFormats{}});
  std::vector<ComPtr<TGroup>> made;
  TGroupList list;
};

}  // namespace

TEST_F(GroupList, FindsByHandleAndByNameIgnoringTheCaseOfAsciiLettersOnly) {
  ComPtr<TGroup> a = Make(L"Pumps");
  ComPtr<TGroup> b = Make(L"\u00c4rger");
  list.Add(a.Get());
  list.Add(b.Get());
  EXPECT_EQ(list.Find(a->GroupHandle()), a.Get());
  EXPECT_EQ(list.Find(b->GroupHandle()), b.Get());
  EXPECT_EQ(list.Find(OPCHANDLE(0)), nullptr);
  EXPECT_EQ(list.Find(std::wstring_view(L"PUMPS")), a.Get());
  EXPECT_EQ(list.Find(std::wstring_view(L"pumps")), a.Get());
  EXPECT_EQ(list.Find(std::wstring_view(L"Pump")), nullptr);
  EXPECT_EQ(list.Find(std::wstring_view(L"\u00c4rger")), b.Get());
  EXPECT_EQ(list.Find(std::wstring_view(L"\u00e4rger")), nullptr);  // not an ASCII letter
}

TEST_F(GroupList, TheListHoldsOneReferenceUntilTheGroupIsRemoved) {
  ComPtr<TGroup> a = Make(L"A");
  const LONG before = a->References();
  list.Add(a.Get());
  EXPECT_EQ(a->References(), before + 1);
  EXPECT_TRUE(list.Remove(a.Get()));
  EXPECT_EQ(a->References(), before);
  EXPECT_FALSE(list.Remove(a.Get()));
  EXPECT_EQ(list.Size(), 0u);
}

TEST_F(GroupList, TakeAllHandsOverTheReferencesInOrderOfAddition) {
  ComPtr<TGroup> a = Make(L"A"), b = Make(L"B");
  list.Add(a.Get());
  list.Add(b.Get());
  std::vector<ComPtr<TGroup>> all = list.TakeAll();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].Get(), a.Get());
  EXPECT_EQ(all[1].Get(), b.Get());
  EXPECT_EQ(list.Size(), 0u);
  EXPECT_EQ(list.Find(std::wstring_view(L"A")), nullptr);
}

TEST_F(GroupList, ADefaultNameIsNeverOneTheListHas) {
  for (int i = 0; i < 10; ++i) list.Add(Make((L"OPCGROUP" + std::to_wstring(i)).c_str()).Get());
  const std::wstring name = list.NewDefaultName();
  EXPECT_EQ(name.rfind(L"OPCGROUP", 0), 0u);
  EXPECT_GT(name.size(), 9u);  // every one-digit name is taken
  EXPECT_FALSE(list.Contains(name));
  for (auto& g : list.TakeAll()) g->Teardown();
}
