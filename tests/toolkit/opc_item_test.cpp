#include "opc_item.h"

#include <gtest/gtest.h>

#include "host_port.h"
#include "opc_error.h"

using namespace quillon;

namespace {

VARIANT R8(double d) {
  VARIANT v;
  V_VT(&v) = VT_R8;
  V_R8(&v) = d;
  return v;
}

VARIANT Text(const wchar_t* s) {
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(s);
  return v;
}

FILETIME Now() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return ft;
}

int hostCalls = 0;
void __stdcall CountingRead(TagHandle, VARIANT* v, WORD* q, FILETIME*, HRESULT*) {
  ++hostCalls;
  *v = R8(55);
  *q = 0xC0;
}
void __stdcall CountingWrite(TagHandle, VARIANT, HRESULT*) { ++hostCalls; }

class Item : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = host.Callbacks;
    host.Callbacks.read = CountingRead;
    host.Callbacks.write = CountingWrite;
    hostCalls = 0;
    root = std::make_shared<TOPCTag>(std::make_shared<const TagContext>(TagContext{host, 10}), nullptr, L"ROOT");
    analog = root->AddChild(L"Analog");
    analog->SetCanonicalType(VT_R8);
    analog->SetAccessRights(3);
    text = root->AddChild(L"Text");
    text->SetCanonicalType(VT_BSTR);
    text->SetAccessRights(1);
  }
  void TearDown() override { host.Callbacks = saved_; }

  std::unique_ptr<TOPCItem> MakeItem(TOPCTag* tag, OPCHANDLE client = 7, VARTYPE requested = VT_EMPTY) {
    OPCITEMDEF def{};
    def.szItemID = const_cast<LPWSTR>(L"ignored");
    def.bActive = TRUE;
    def.hClient = client;
    def.vtRequestedDataType = requested;
    return std::make_unique<TOPCItem>(tag->shared_from_this(), def);
  }
  void Push(TOPCTag* tag, VARIANT v, WORD quality = 0xC0) {
    ASSERT_EQ(tag->Update(v, quality, Now()), S_OK);
    VariantClear(&v);
  }

  HostPort host;
  std::shared_ptr<TOPCTag> root;
  TOPCTag* analog = nullptr;
  TOPCTag* text = nullptr;
  HostCallbacks saved_;
};

}  // namespace

TEST_F(Item, ANewItemAlwaysSeesAChangeAndTakesTheTagState) {
  auto item = MakeItem(analog);
  EXPECT_EQ(item->Quality(), 0);
  EXPECT_TRUE(item->HasChanged(0));
  EXPECT_EQ(item->Quality(), 0x40);
  EXPECT_EQ(V_VT(&item->Value()), VT_R8);
  EXPECT_EQ(item->TimeStamp().dwLowDateTime, analog->TimeStamp().dwLowDateTime);
  EXPECT_FALSE(item->HasChanged(0));
}

TEST_F(Item, GroupDeadbandFiltersSmallMovesAndTheItemDeadbandOverrides) {
  auto item = MakeItem(analog);
  Push(analog, R8(100));
  ASSERT_TRUE(item->HasChanged(5));
  Push(analog, R8(104));
  EXPECT_FALSE(item->HasChanged(5));
  Push(analog, R8(106));
  EXPECT_TRUE(item->HasChanged(5));
  EXPECT_EQ(V_R8(&item->Value()), 106);

  Push(analog, R8(100));
  ASSERT_TRUE(item->HasChanged(0));
  item->SetDeadband(1);
  Push(analog, R8(104));
  EXPECT_TRUE(item->HasChanged(5));
  item->ClearDeadband();
  EXPECT_EQ(item->Deadband(), 1);
  Push(analog, R8(105));
  EXPECT_FALSE(item->HasChanged(5));  // back to the group's 5 %
}

TEST_F(Item, ALowerDeadbandReleasesAFilteredMoveWithoutANewValue) {
  auto item = MakeItem(analog);
  Push(analog, R8(100));
  ASSERT_TRUE(item->HasChanged(5));
  Push(analog, R8(104));
  EXPECT_FALSE(item->HasChanged(5));
  EXPECT_FALSE(item->HasChanged(5));  // nothing moved since
  EXPECT_TRUE(item->HasChanged(3));   // the group's deadband was lowered
  EXPECT_EQ(V_R8(&item->Value()), 104);
  Push(analog, R8(105));
  EXPECT_FALSE(item->HasChanged(3));
  item->SetDeadband(0.5);
  EXPECT_TRUE(item->HasChanged(3));  // an item deadband of its own
}

TEST_F(Item, FromZeroAnyMoveCountsAndDeadbandIsStrict) {
  auto item = MakeItem(analog);
  Push(analog, R8(0));
  ASSERT_TRUE(item->HasChanged(50));
  Push(analog, R8(0.0001));
  EXPECT_TRUE(item->HasChanged(50));
  Push(analog, R8(10));
  ASSERT_TRUE(item->HasChanged(0));
  Push(analog, R8(10.5));  // exactly 5 %
  EXPECT_FALSE(item->HasChanged(5));
}

TEST_F(Item, TextChangesIgnoreDeadbandAndQualityAlwaysCounts) {
  auto item = MakeItem(text);
  Push(text, Text(L"a"));
  ASSERT_TRUE(item->HasChanged(100));
  Push(text, Text(L"A"));
  EXPECT_TRUE(item->HasChanged(100));
  Push(text, Text(L"A"));
  EXPECT_FALSE(item->HasChanged(100));
  Push(text, Text(L"A"), 0);
  EXPECT_TRUE(item->HasChanged(100));
  EXPECT_EQ(item->Quality(), 0);
}

TEST_F(Item, ReadsCheckRightsBeforeTheHostAndRefreshTheBaseline) {
  analog->SetAccessRights(2);
  auto item = MakeItem(analog);
  EXPECT_EQ(item->Read(OPC_DS_CACHE), OPC_E_BADRIGHTS);
  EXPECT_EQ(item->Read(OPC_DS_DEVICE), OPC_E_BADRIGHTS);
  EXPECT_EQ(item->ReadMaxAge(0), OPC_E_BADRIGHTS);
  EXPECT_EQ(hostCalls, 0);

  analog->SetAccessRights(3);
  EXPECT_EQ(item->Read(OPC_DS_CACHE), S_OK);
  EXPECT_EQ(hostCalls, 0);
  EXPECT_EQ(item->Read(OPC_DS_DEVICE), S_OK);
  EXPECT_EQ(hostCalls, 1);
  EXPECT_EQ(V_R8(&item->Value()), 55);
  EXPECT_EQ(item->Quality(), 0xC0);
  EXPECT_FALSE(item->HasChanged(0));  // the read took the tag's state
  EXPECT_EQ(item->ReadMaxAge(0), S_OK);
  EXPECT_EQ(hostCalls, 2);
}

TEST_F(Item, WritesCheckRightsAndValueBeforeTheHost) {
  auto readOnly = MakeItem(text);
  VARIANT v = Text(L"x");
  EXPECT_EQ(readOnly->Write(v), OPC_E_BADRIGHTS);
  VariantClear(&v);
  auto item = MakeItem(analog);
  VARIANT empty;
  VariantInit(&empty);
  EXPECT_EQ(item->Write(empty), OPC_E_BADTYPE);
  EXPECT_EQ(hostCalls, 0);
  EXPECT_EQ(item->Write(R8(3)), S_OK);
  EXPECT_EQ(hostCalls, 1);
  EXPECT_EQ(V_R8(&analog->Value()), 0);  // the host decides when the tag changes
}

TEST_F(Item, AttributesAndDefinitionDescribeTheItem) {
  analog->SetAccessRights(3);
  auto item = MakeItem(analog, 42, VT_BSTR);
  OPCITEMATTRIBUTES a{};
  ASSERT_TRUE(item->GetAttributes(a));
  EXPECT_EQ(a.szAccessPath, nullptr);
  EXPECT_STREQ(a.szItemID, L"Analog");
  EXPECT_TRUE(a.bActive);
  EXPECT_EQ(a.hClient, 42u);
  EXPECT_EQ(a.hServer, item->ServerHandle());
  EXPECT_EQ(a.dwAccessRights, 3u);
  EXPECT_EQ(a.vtRequestedDataType, VT_BSTR);
  EXPECT_EQ(a.vtCanonicalDataType, VT_R8);
  EXPECT_EQ(a.dwEUType, OPC_NOENUM);
  ASSERT_EQ(V_VT(&a.vEUInfo), VT_BSTR);
  EXPECT_STREQ(V_BSTR(&a.vEUInfo), L"");
  CoTaskMemFree(a.szItemID);
  VariantClear(&a.vEUInfo);

  OPCITEMDEF d{};
  ASSERT_TRUE(item->GetDefinition(d));
  ASSERT_NE(d.szAccessPath, nullptr);
  EXPECT_STREQ(d.szAccessPath, L"");
  EXPECT_STREQ(d.szItemID, L"Analog");
  EXPECT_EQ(d.hClient, 42u);
  EXPECT_EQ(d.vtRequestedDataType, VT_BSTR);
  CoTaskMemFree(d.szAccessPath);
  CoTaskMemFree(d.szItemID);
}

TEST_F(Item, AnItemOutlivesItsRemovedTagAndAnswersAsUnknown) {
  TOPCTag* branch = root->AddChild(L"Branch");
  TOPCTag* leaf = branch->AddChild(L"Leaf");
  leaf->SetCanonicalType(VT_R8);
  leaf->SetAccessRights(3);
  auto item = MakeItem(leaf);
  ASSERT_TRUE(item->HasChanged(0));
  root->DeleteChild(size_t(root->IndexOfChildNode(branch)));  // the ancestor goes
  EXPECT_TRUE(item->TagRemoved());
  EXPECT_EQ(item->Read(OPC_DS_CACHE), OPC_E_UNKNOWNITEMID);
  EXPECT_EQ(item->Read(OPC_DS_DEVICE), OPC_E_UNKNOWNITEMID);
  EXPECT_EQ(item->ReadMaxAge(0), OPC_E_UNKNOWNITEMID);
  EXPECT_EQ(item->Write(R8(1)), OPC_E_UNKNOWNITEMID);
  EXPECT_EQ(hostCalls, 0);
  EXPECT_TRUE(item->HasChanged(0));  // reported once, with bad quality
  EXPECT_EQ(item->Quality(), 0);
  EXPECT_FALSE(item->HasChanged(0));
  OPCITEMATTRIBUTES a{};
  ASSERT_TRUE(item->GetAttributes(a));
  EXPECT_STREQ(a.szItemID, L"Leaf");
  CoTaskMemFree(a.szItemID);
  VariantClear(&a.vEUInfo);
}

TEST_F(Item, ItemsOfATreeThatIsDestroyedSeeTheirTagsRemoved) {
  TOPCTag* leaf = root->AddChild(L"Leaf");
  auto item = MakeItem(leaf);
  root.reset();
  EXPECT_TRUE(item->TagRemoved());
  EXPECT_EQ(item->Read(OPC_DS_CACHE), OPC_E_UNKNOWNITEMID);
}
