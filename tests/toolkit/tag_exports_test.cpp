// The tag exports, called in-process so the resulting tags can be inspected.
#include <gtest/gtest.h>

#include "exports_state.h"
#include "opc_error.h"
#include "opc_tag.h"
#include "quillon.h"

using namespace quillon;

namespace {

VARIANT I4(LONG v) {
  VARIANT x;
  V_VT(&x) = VT_I4;
  V_I4(&x) = v;
  return x;
}

VARIANT Text(const wchar_t* s) {
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(s);
  return v;
}

TOPCTag& T(TagHandle h) { return *TOPCTag::FromHandle(h); }

class TagExports : public ::testing::Test {
 protected:
  void SetUp() override {
    Exports().host.TagQualifier = L'.';
    // The tree and the lists CreateServer builds, without a class object.
    Exports().module = std::make_shared<ModuleState>(Exports().host, L"", 10, 0, StreamFormats{});
  }
  void TearDown() override {
    Exports().module.reset();
    Exports().host.TagQualifier = L'.';
  }
  static TOPCTag& Root() { return *CreatedModule().Space().Root(); }
};

}  // namespace

TEST_F(TagExports, RegTagExBuildsBranchesAndTypedLeaves) {
  TagHandle tank = RegTagEx(nullptr, "Tank1", VT_EMPTY, 1);
  ASSERT_NE(tank, nullptr);
  TagHandle level = RegTagEx(tank, "Level", VT_R8, 3);
  ASSERT_NE(level, nullptr);
  EXPECT_EQ(T(level).ItemId(), L"Tank1.Level");
  EXPECT_EQ(V_VT(&T(level).Value()), VT_R8);
  EXPECT_EQ(V_R8(&T(level).Value()), 0.0);
  EXPECT_EQ(T(level).Quality(), 64);
  EXPECT_EQ(T(level).AccessRights(), 3);
  EXPECT_EQ(Root().FindByItemId(L"Tank1.Level"), &T(level));
  TagHandle text = RegTagEx(nullptr, "Text", VT_BSTR, 1);
  EXPECT_EQ(V_VT(&T(text).Value()), VT_BSTR);
  // Names are stored as given, duplicates included.
  EXPECT_NE(RegTagEx(nullptr, "Tank1", VT_I4, 1), nullptr);
  EXPECT_EQ(Root().ChildCount(), 3u);
}

TEST_F(TagExports, RegTagTakesTypeValueAndQualityFromTheVariant) {
  TagHandle t = RegTag(nullptr, "Count", I4(7), 192, 3);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(T(t).CanonicalDataType(), VT_I4);
  EXPECT_EQ(V_I4(&T(t).Value()), 7);
  EXPECT_EQ(T(t).Quality(), 192);
  VARIANT s = Text(L"\u6db2\u4f4d");
  TagHandle u = RegTag(nullptr, "Label", s, 0, 1);
  VariantClear(&s);  // the toolkit keeps its own copy
  EXPECT_STREQ(V_BSTR(&T(u).Value()), L"\u6db2\u4f4d");
}

TEST_F(TagExports, RegistrationNeedsACreatedServer) {
  Exports().module.reset();
  EXPECT_EQ(RegTagEx(nullptr, "x", VT_I4, 1), nullptr);
}

TEST_F(TagExports, UpdateConvertsRefusesAndNormalisesBooleans) {
  TagHandle t = RegTagEx(nullptr, "Count", VT_I4, 3);
  VARIANT twelve = Text(L"12");
  EXPECT_EQ(UpdateTag(t, twelve, 192), -1);
  VariantClear(&twelve);
  EXPECT_EQ(V_VT(&T(t).Value()), VT_I4);
  EXPECT_EQ(V_I4(&T(t).Value()), 12);
  EXPECT_EQ(T(t).Quality(), 192);
  FILETIME before = T(t).TimeStamp();

  VARIANT x = Text(L"x");
  EXPECT_EQ(UpdateTag(t, x, 0), 0);
  VariantClear(&x);
  VARIANT empty;
  VariantInit(&empty);
  EXPECT_EQ(UpdateTag(t, empty, 0), 0);
  EXPECT_EQ(V_I4(&T(t).Value()), 12);
  EXPECT_EQ(T(t).Quality(), 192);
  EXPECT_EQ(T(t).TimeStamp().dwLowDateTime, before.dwLowDateTime);
  EXPECT_EQ(UpdateTag(nullptr, I4(1), 0), 0);

  TagHandle r = RegTagEx(nullptr, "Level", VT_R8, 3);
  VARIANT yes;
  V_VT(&yes) = VT_BOOL;
  V_BOOL(&yes) = 1;  // any non-zero truth
  EXPECT_EQ(UpdateTag(r, yes, 192), -1);
  EXPECT_EQ(V_VT(&T(r).Value()), VT_BOOL);
  EXPECT_EQ(V_BOOL(&T(r).Value()), VARIANT_TRUE);
}

TEST_F(TagExports, UpdateWithTimeStampStoresTheGivenTime) {
  TagHandle t = RegTagEx(nullptr, "Count", VT_I4, 3);
  FILETIME ts{0x12345678, 0x01D9ABCD};
  EXPECT_EQ(UpdateTagWithTimeStamp(t, I4(5), 0xC0, ts), -1);
  EXPECT_EQ(T(t).TimeStamp().dwLowDateTime, 0x12345678u);
  EXPECT_EQ(T(t).TimeStamp().dwHighDateTime, 0x01D9ABCDu);
}

TEST_F(TagExports, CustomPropertiesThroughTheExports) {
  TagHandle t = RegTagEx(nullptr, "Level", VT_R8, 3);
  EXPECT_EQ(AddTagPropertyEx(t, "Six", 6, "standard", VT_I4), 0);
  EXPECT_EQ(AddTagPropertyEx(t, "Zero", 0, "zero", VT_I4), 0);
  EXPECT_EQ(AddTagPropertyEx(t, "Limit", 5000, "High limit", VT_I4), -1);
  EXPECT_EQ(AddTagPropertyEx(t, "Limit2", 5000, "again", VT_I4), 0);
  EXPECT_EQ(AddTagPropertyEx(nullptr, "x", 5001, "x", VT_I4), 0);
  EXPECT_EQ(SetTagProperty(t, 5000, I4(90)), -1);
  EXPECT_EQ(SetTagProperty(t, 2, I4(90)), 0);
  EXPECT_EQ(V_R8(&T(t).Value()), 0.0);
  EXPECT_EQ(SetTagProperty(t, 5999, I4(90)), 0);
  VARIANT eu = Text(L"m");
  EXPECT_EQ(AddTagProperty(t, "EU", 100, "Engineering unit", eu), -1);
  VariantClear(&eu);
  EXPECT_EQ(T(t).PropertyCount(), 8);
  EXPECT_EQ(T(t).PropertyItemId(7), L"Level.EU");
  VARIANT v{};
  T(t).PropertyValueAt(7, v);
  EXPECT_STREQ(V_BSTR(&v), L"m");
  VariantClear(&v);
}

TEST_F(TagExports, QualifierMustBeAVisibleCharacter) {
  TagHandle a = RegTagEx(nullptr, "A", VT_EMPTY, 1);
  TagHandle b = RegTagEx(a, "B", VT_I4, 1);
  EXPECT_EQ(SetTagQualifier(' '), 0);
  EXPECT_EQ(SetTagQualifier('\t'), 0);
  EXPECT_EQ(SetTagQualifier('\0'), 0);
  EXPECT_EQ(Exports().host.TagQualifier, L'.');
  EXPECT_EQ(SetTagQualifier('/'), -1);
  EXPECT_EQ(T(b).ItemId(), L"A/B");  // applies to tags registered before
  EXPECT_EQ(Root().FindByItemId(L"A/B"), &T(b));
  EXPECT_EQ(Root().FindByItemId(L"A.B"), nullptr);
}

TEST_F(TagExports, UnregTagRemovesTheSubtree) {
  TagHandle tank = RegTagEx(nullptr, "Tank1", VT_EMPTY, 1);
  TagHandle level = RegTagEx(tank, "Level", VT_R8, 3);
  std::shared_ptr<TOPCTag> held = T(level).shared_from_this();  // as a group item would
  EXPECT_EQ(UnregTag(nullptr), 0);
  EXPECT_EQ(UnregTag(tank), -1);
  EXPECT_EQ(Root().ChildCount(), 0u);
  EXPECT_EQ(Root().FindByItemId(L"Tank1.Level"), nullptr);
  EXPECT_TRUE(held->Removed());
}

namespace {
DWORD WINAPI HoldMutex(void* p) {
  auto* events = static_cast<HANDLE*>(p);
  WaitForSingleObject(CreatedModule().Space().Mutex(), INFINITE);
  SetEvent(events[0]);
  WaitForSingleObject(events[1], INFINITE);
  ReleaseMutex(CreatedModule().Space().Mutex());
  return 0;
}
}  // namespace

TEST_F(TagExports, UnregTagGivesUpWhenTheAddressSpaceStaysBusy) {
  TagHandle t = RegTagEx(nullptr, "Busy", VT_I4, 1);
  HANDLE events[2] = {CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  HANDLE thread = CreateThread(nullptr, 0, HoldMutex, events, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(events[0], 5000), WAIT_OBJECT_0);
  DWORD start = GetTickCount();
  EXPECT_EQ(UnregTag(t), 0);
  EXPECT_GE(GetTickCount() - start, 900u);
  EXPECT_EQ(Root().ChildCount(), 1u);
  SetEvent(events[1]);
  WaitForSingleObject(thread, 5000);
  EXPECT_EQ(UnregTag(t), -1);
  for (HANDLE h : {thread, events[0], events[1]}) CloseHandle(h);
}
