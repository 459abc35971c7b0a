// The list object's answers, in process, over classes the test registers in
// categories of its own (so that nothing else on the machine is listed).
#include "server_list.h"

#include <objbase.h>
#include <comcat.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "com_ptr.h"
#include "logging.h"
#include "opc_server_list.h"
#include "task_mem.h"

namespace serverlist_test {
namespace {

using quillon::ComPtr;
using quillon::TaskString;

class NoLog : public quillon::LogSink {
 public:
  void LogOperationError(std::wstring_view, std::wstring_view) const noexcept override {}
};
const NoLog kLog;

GUID NewGuid() {
  GUID g;
  CoCreateGuid(&g);
  return g;
}

std::wstring Text(const GUID& g) {
  wchar_t text[40];
  StringFromGUID2(g, text, 40);
  return text;
}

void SetKey(const std::wstring& key, const std::wstring& value) {
  RegSetValueW(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, value.c_str(), DWORD(value.size() * sizeof(wchar_t)));
}

template <class Enum>
std::vector<GUID> Drain(Enum* e) {
  std::vector<GUID> all;
  GUID g;
  ULONG n = 0;
  while (e->Next(1, &g, &n) == S_OK && n == 1) all.push_back(g);
  return all;
}

class ServerListObject : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_ICatRegister, registrar_.PutVoid())));
    // A implements the first category, B both, C the second only and
    // requires a third of its client.
    Implements(a_, {first_});
    Implements(b_, {first_, second_});
    Implements(c_, {second_});
    ASSERT_EQ(registrar_->RegisterClassReqCategories(c_, 1, const_cast<CATID*>(&third_)), S_OK);
    SetKey(L"CLSID\\" + Text(a_), L"Server A");
    SetKey(L"CLSID\\" + Text(a_) + L"\\ProgID", progId_ + L".1");
    SetKey(L"CLSID\\" + Text(a_) + L"\\VersionIndependentProgID", progId_);
    SetKey(progId_ + L".1\\CLSID", Text(a_));
    SetKey(progId_ + L"\\CLSID", Text(a_));
    SetKey(progId_ + L"\\CurVer", progId_ + L".1");

    auto list = serverlist::MakeServerList(kLog);
    list2_ = list.Query<IOPCServerList2>();
    list1_ = list.Query<IOPCServerList>();
    ASSERT_TRUE(list2_ && list1_);
  }
  void TearDown() override {
    for (const GUID& c : {a_, b_, c_}) RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + Text(c)).c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, progId_.c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (progId_ + L".1").c_str());
    list1_.Reset();
    list2_.Reset();
    registrar_.Reset();
    CoUninitialize();
  }

  void Implements(const CLSID& clsid, std::vector<CATID> categories) {
    ASSERT_EQ(registrar_->RegisterClassImplCategories(clsid, ULONG(categories.size()), categories.data()), S_OK);
  }

  std::vector<GUID> List2(std::vector<CATID> implemented, std::vector<CATID> required = {}) {
    ComPtr<IOPCEnumGUID> e;
    EXPECT_EQ(list2_->EnumClassesOfCategories(ULONG(implemented.size()), implemented.data(), ULONG(required.size()),
                                              required.data(), e.Put()),
              S_OK);
    return e ? Drain(e.Get()) : std::vector<GUID>{};
  }

  ComPtr<ICatRegister> registrar_;
  ComPtr<IOPCServerList2> list2_;
  ComPtr<IOPCServerList> list1_;
  const CATID first_ = NewGuid(), second_ = NewGuid(), third_ = NewGuid();
  const CLSID a_ = NewGuid(), b_ = NewGuid(), c_ = NewGuid();
  const std::wstring progId_ = L"Quillon.ListTest." + std::to_wstring(GetCurrentProcessId());
};

bool Same(std::vector<GUID> got, std::vector<GUID> want) {
  auto less = [](const GUID& x, const GUID& y) { return memcmp(&x, &y, sizeof x) < 0; };
  std::sort(got.begin(), got.end(), less);
  std::sort(want.begin(), want.end(), less);
  return got == want;
}

TEST_F(ServerListObject, ListsTheClassesOfAnyImplementedCategoryThatRequireOnlyWhatTheClientHas) {
  EXPECT_TRUE(Same(List2({first_}), {a_, b_}));
  EXPECT_TRUE(Same(List2({first_, second_}, {third_}), {a_, b_, c_})) << "each class once";
  EXPECT_TRUE(Same(List2({first_, second_}), {a_, b_})) << "C requires what the client does not have";
  EXPECT_TRUE(List2({NewGuid()}).empty());

  // The first version of the interface lists the same through IEnumGUID.
  CATID category = second_, supported = third_;
  ComPtr<IEnumGUID> e;
  ASSERT_EQ(list1_->EnumClassesOfCategories(1, &category, 1, &supported, e.Put()), S_OK);
  EXPECT_TRUE(Same(Drain(e.Get()), {b_, c_}));
}

TEST_F(ServerListObject, TheEnumeratorKeepsTheStandardContract) {
  CATID both[] = {first_, second_}, supported = third_;
  ComPtr<IOPCEnumGUID> e;
  ASSERT_EQ(list2_->EnumClassesOfCategories(2, both, 1, &supported, e.Put()), S_OK);
  GUID got[5] = {};
  ULONG n = 99;
  EXPECT_EQ(e->Next(5, got, &n), S_FALSE);
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(e->Next(1, got, &n), S_FALSE) << "nothing left";
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(e->Skip(2), S_OK);
  ComPtr<IOPCEnumGUID> clone;
  ASSERT_EQ(e->Clone(clone.Put()), S_OK);
  GUID last{};
  EXPECT_EQ(clone->Next(1, &last, nullptr), S_OK) << "one entry needs no count";
  EXPECT_EQ(last, got[2]) << "the clone starts where the original stood";
  EXPECT_EQ(e->Skip(2), S_FALSE);
  EXPECT_EQ(e->Next(0, got, &n), E_INVALIDARG);
  EXPECT_EQ(e->Next(2, got, nullptr), E_POINTER);
}

TEST_F(ServerListObject, GivesTheNamesOfAClass) {
  TaskString progId, userType, versionIndependent;
  ASSERT_EQ(list2_->GetClassDetails(a_, progId.Put(), userType.Put(), versionIndependent.Put()), S_OK);
  EXPECT_EQ(std::wstring(progId.Get()), progId_ + L".1");
  EXPECT_EQ(std::wstring(userType.Get()), L"Server A");
  EXPECT_EQ(std::wstring(versionIndependent.Get()), progId_);
  ASSERT_EQ(list1_->GetClassDetails(a_, progId.Put(), userType.Put()), S_OK);
  EXPECT_EQ(std::wstring(progId.Get()), progId_ + L".1");

  // A class without names has empty ones, never missing strings.
  ASSERT_EQ(list2_->GetClassDetails(b_, progId.Put(), userType.Put(), versionIndependent.Put()), S_OK);
  ASSERT_TRUE(progId && userType && versionIndependent);
  EXPECT_EQ(std::wstring(progId.Get()), L"");

  EXPECT_EQ(list2_->GetClassDetails(NewGuid(), progId.Put(), userType.Put(), versionIndependent.Put()),
            REGDB_E_CLASSNOTREG);
  EXPECT_FALSE(progId || userType || versionIndependent);
}

TEST_F(ServerListObject, ResolvesProgIdsAndRefusesUnknownOnes) {
  CLSID clsid{};
  ASSERT_EQ(list2_->CLSIDFromProgID((progId_ + L".1").c_str(), &clsid), S_OK);
  EXPECT_EQ(clsid, a_);
  ASSERT_EQ(list1_->CLSIDFromProgID(progId_.c_str(), &clsid), S_OK) << "through CurVer";
  EXPECT_EQ(clsid, a_);
  EXPECT_EQ(list2_->CLSIDFromProgID(L"Quillon.NoSuchServer.1", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(clsid, CLSID_NULL);
  EXPECT_EQ(list2_->CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
}

TEST_F(ServerListObject, RefusesMissingArguments) {
  CATID category = first_;
  EXPECT_EQ(list2_->EnumClassesOfCategories(1, &category, 0, nullptr, static_cast<IOPCEnumGUID**>(nullptr)),
            E_POINTER);
  ComPtr<IOPCEnumGUID> e;
  EXPECT_EQ(list2_->EnumClassesOfCategories(1, nullptr, 0, nullptr, e.Put()), E_INVALIDARG);
  EXPECT_EQ(list2_->EnumClassesOfCategories(1, &category, 2, nullptr, e.Put()), E_INVALIDARG);
  EXPECT_FALSE(e);
  TaskString progId;
  EXPECT_EQ(list2_->GetClassDetails(a_, progId.Put(), nullptr, nullptr), E_POINTER);
  EXPECT_EQ(list1_->CLSIDFromProgID(L"x", nullptr), E_POINTER);
}

}  // namespace
}  // namespace serverlist_test
