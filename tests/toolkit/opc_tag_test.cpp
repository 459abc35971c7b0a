#include "opc_tag.h"

#include <gtest/gtest.h>

#include "host_port.h"
#include "opc_error.h"

using namespace quillon;

namespace {

class TagTree : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = port.Callbacks;
    port.TagQualifier = L'.';
    tank = root.AddChild(L"Tank1");
    level = tank->AddChild(L"Level");
    level->SetCanonicalType(VT_I4);
    level->SetAccessRights(3);
  }
  void TearDown() override {
    port.Callbacks = saved_;
    port.TagQualifier = L'.';
  }

  HostPort port;
  TOPCTag root{std::make_shared<const TagContext>(TagContext{port, 10}), nullptr, L"ROOT"};
  TOPCTag* tank = nullptr;
  TOPCTag* level = nullptr;
  HostCallbacks saved_;
};

VARIANT I4(LONG v) {
  VARIANT x;
  VariantInit(&x);
  V_VT(&x) = VT_I4;
  V_I4(&x) = v;
  return x;
}

// Host callbacks seen by the tests, recorded here.
struct HostLog {
  int reads = 0, writes = 0;
  VARIANT written{};
  HRESULT readResult = S_OK, writeResult = S_OK;
  bool touchQualityAndTime = true;
  const wchar_t* readText = L"42";  // null: the value is left empty
} host;

void __stdcall ReadCb(TagHandle, VARIANT* value, WORD* quality, FILETIME* ts, HRESULT* result) {
  ++host.reads;
  EXPECT_EQ(V_VT(value), VT_EMPTY);
  EXPECT_EQ(*result, S_OK);
  if (host.readText) {
    V_VT(value) = VT_BSTR;
    V_BSTR(value) = SysAllocString(host.readText);
  }
  if (host.touchQualityAndTime) {
    *quality = 0xC0;
    ts->dwHighDateTime = 0x01D00000;
    ts->dwLowDateTime = 7;
  }
  *result = host.readResult;
}

void __stdcall WriteCb(TagHandle, VARIANT value, HRESULT* result) {
  ++host.writes;
  VariantClear(&host.written);
  VariantCopy(&host.written, &value);
  *result = host.writeResult;
}

}  // namespace

TEST_F(TagTree, ItemIdsComposeAndResolve) {
  EXPECT_EQ(level->ItemId(), L"Tank1.Level");
  EXPECT_EQ(tank->ItemId(), L"Tank1");
  EXPECT_EQ(root.ItemId(), L"ROOT");
  EXPECT_EQ(root.FindByItemId(L"Tank1.Level"), level);
  EXPECT_EQ(root.FindByItemId(L"tank1.level"), level);
  EXPECT_EQ(root.FindByItemId(L"Tank1"), tank);
  EXPECT_EQ(root.FindByItemId(L"Tank2"), nullptr);
  EXPECT_EQ(root.FindByItemId(L""), nullptr);
  EXPECT_EQ(root.FindByItemId(L"Tank1."), nullptr);
}

TEST_F(TagTree, PropertyNamesAfterALeafResolveToTheLeaf) {
  EXPECT_EQ(root.FindByItemId(L"Tank1.Level.cv"), level);
  EXPECT_EQ(root.FindByItemId(L"Tank1.Level.QUALITY"), level);
  EXPECT_EQ(root.FindByItemId(L"Tank1.Level.ScanRate"), level);
  EXPECT_EQ(root.FindByItemId(L"Tank1.Level.XYZ"), nullptr);
  EXPECT_EQ(root.FindByItemId(L"Tank1.Level.CV.CV"), nullptr);
}

TEST_F(TagTree, OtherQualifier) {
  port.TagQualifier = L'/';
  EXPECT_EQ(level->ItemId(), L"Tank1/Level");
  EXPECT_EQ(root.FindByItemId(L"Tank1/Level"), level);
  EXPECT_EQ(root.FindByItemId(L"Tank1.Level"), nullptr);
}

TEST_F(TagTree, FirstRegisteredSiblingWinsAndDeletionHandsOver) {
  TOPCTag* upper = root.AddChild(L"A");
  TOPCTag* lower = root.AddChild(L"a");
  EXPECT_EQ(root.FindByItemId(L"a"), upper);
  EXPECT_EQ(root.FindByItemId(L"A"), upper);
  EXPECT_EQ(root.IndexOfChild(L"a"), 1);
  root.DeleteChild(1);
  EXPECT_EQ(root.FindByItemId(L"a"), lower);
  EXPECT_EQ(root.IndexOfChild(L"A"), 1);
  root.DeleteChild(1);
  EXPECT_EQ(root.FindByItemId(L"a"), nullptr);
  EXPECT_EQ(root.IndexOfChild(L"a"), -1);
  EXPECT_EQ(root.ChildCount(), 1u);
}

TEST_F(TagTree, CaseFoldingFollowsTheLocaleNotJustAscii) {
  TOPCTag* accented = root.AddChild(L"\u00c9tat");
  EXPECT_EQ(root.FindByItemId(L"\u00e9TAT"), accented);
}

TEST_F(TagTree, ANewNodeStartsUncertainReadableAndTimed) {
  TOPCTag* t = root.AddChild(L"New");
  EXPECT_EQ(t->Quality(), 0x40);
  EXPECT_EQ(t->AccessRights(), 1);
  EXPECT_EQ(t->CanonicalDataType(), VT_EMPTY);
  EXPECT_NE(t->TimeStamp().dwHighDateTime, 0u);
  t->SetCanonicalType(VT_R8);
  EXPECT_EQ(V_VT(&t->Value()), VT_R8);
  EXPECT_EQ(V_R8(&t->Value()), 0.0);
}

TEST_F(TagTree, CheckAccessAndConversion) {
  EXPECT_EQ(level->CheckAccess(2), S_OK);
  level->SetAccessRights(1);
  EXPECT_EQ(level->CheckAccess(2), OPC_E_BADRIGHTS);
  EXPECT_EQ(level->CheckConversion(VT_BSTR), S_OK);
  EXPECT_EQ(level->CheckConversion(VT_UNKNOWN), OPC_E_BADTYPE);
}

TEST_F(TagTree, ValidateWriteValueMapsConversionFailures) {
  VARIANT empty;
  VariantInit(&empty);
  EXPECT_EQ(level->ValidateWriteValue(empty), OPC_E_BADTYPE);
  VARIANT byRef;
  V_VT(&byRef) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&byRef) = &empty;
  EXPECT_EQ(level->ValidateWriteValue(byRef), OPC_E_BADTYPE);

  VARIANT text;
  V_VT(&text) = VT_BSTR;
  V_BSTR(&text) = SysAllocString(L"abc");
  EXPECT_EQ(level->ValidateWriteValue(text), DISP_E_TYPEMISMATCH);
  VariantClear(&text);

  VARIANT big;
  V_VT(&big) = VT_R8;
  V_R8(&big) = 1e20;
  EXPECT_EQ(level->ValidateWriteValue(big), DISP_E_OVERFLOW);
  EXPECT_EQ(level->ValidateWriteValue(I4(5)), S_OK);
  EXPECT_EQ(V_I4(&level->Value()), 0);  // validation never changes the node
}

TEST_F(TagTree, DeviceReadStoresTheHostValueInTheCanonicalType) {
  port.Callbacks.read = ReadCb;
  host = {};
  EXPECT_EQ(level->DeviceRead(), S_OK);
  EXPECT_EQ(host.reads, 1);
  EXPECT_EQ(V_VT(&level->Value()), VT_I4);
  EXPECT_EQ(V_I4(&level->Value()), 42);
  EXPECT_EQ(level->Quality(), 0xC0);
  EXPECT_EQ(level->TimeStamp().dwLowDateTime, 7u);
}

TEST_F(TagTree, DeviceReadOfAValueThatDoesNotConvertKeepsTheTag) {
  port.Callbacks.read = ReadCb;
  host = {};
  level->SetValue(I4(5));
  const uint64_t changes = level->ChangeCount();
  host.readText = L"abc";
  EXPECT_EQ(level->DeviceRead(), DISP_E_TYPEMISMATCH);
  host.readText = L"1e20";
  EXPECT_EQ(level->DeviceRead(), DISP_E_OVERFLOW);
  EXPECT_EQ(V_VT(&level->Value()), VT_I4);
  EXPECT_EQ(V_I4(&level->Value()), 5);
  EXPECT_EQ(level->Quality(), 0x40);
  EXPECT_EQ(level->ChangeCount(), changes);
  // A host that answers without a value leaves the value as it was.
  host.readText = nullptr;
  EXPECT_EQ(level->DeviceRead(), S_OK);
  EXPECT_EQ(V_I4(&level->Value()), 5);
  EXPECT_EQ(level->Quality(), 0xC0);
}

TEST_F(TagTree, FailedDeviceReadLeavesTheNodeAlone) {
  port.Callbacks.read = ReadCb;
  host = {};
  host.readResult = E_FAIL;
  FILETIME before = level->TimeStamp();
  EXPECT_EQ(level->DeviceRead(), E_FAIL);
  EXPECT_EQ(V_VT(&level->Value()), VT_I4);
  EXPECT_EQ(level->Quality(), 0x40);
  EXPECT_EQ(level->TimeStamp().dwLowDateTime, before.dwLowDateTime);
}

TEST_F(TagTree, ReadCallbackThatSetsOnlyTheValueKeepsQualityAndTime) {
  port.Callbacks.read = ReadCb;
  host = {};
  host.touchQualityAndTime = false;
  level->SetQuality(0xC0);
  FILETIME before = level->TimeStamp();
  EXPECT_EQ(level->DeviceRead(), S_OK);
  EXPECT_EQ(level->Quality(), 0xC0);
  EXPECT_EQ(level->TimeStamp().dwLowDateTime, before.dwLowDateTime);
  EXPECT_EQ(level->TimeStamp().dwHighDateTime, before.dwHighDateTime);
}

TEST_F(TagTree, WithoutReadCallbackADeviceReadSucceedsAndChangesNothing) {
  port.Callbacks.read = nullptr;
  EXPECT_EQ(level->DeviceRead(), S_OK);
  EXPECT_EQ(V_VT(&level->Value()), VT_I4);
}

TEST_F(TagTree, MaxAgeDecidesWhetherTheHostIsAsked) {
  port.Callbacks.read = ReadCb;
  host = {};
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  level->SetTimeStamp(now);
  EXPECT_EQ(level->MaxAgeRead(60000), S_OK);
  EXPECT_EQ(host.reads, 0);
  EXPECT_EQ(level->MaxAgeRead(0), S_OK);
  EXPECT_EQ(host.reads, 1);
  FILETIME old{};  // 1601: older than any maximum age
  level->SetTimeStamp(old);
  EXPECT_EQ(level->MaxAgeRead(0xFFFFFFFF), S_OK);
  EXPECT_EQ(host.reads, 2);
}

TEST_F(TagTree, DeviceWriteConvertsAndLeavesTheNodeToTheHost) {
  port.Callbacks.write = WriteCb;
  host = {};
  VARIANT text;
  V_VT(&text) = VT_BSTR;
  V_BSTR(&text) = SysAllocString(L"17");
  EXPECT_EQ(level->DeviceWrite(text), S_OK);
  VariantClear(&text);
  EXPECT_EQ(host.writes, 1);
  EXPECT_EQ(V_VT(&host.written), VT_I4);
  EXPECT_EQ(V_I4(&host.written), 17);
  EXPECT_EQ(V_I4(&level->Value()), 0);

  host.writeResult = OPC_E_BADRIGHTS;
  EXPECT_EQ(level->DeviceWrite(I4(1)), OPC_E_BADRIGHTS);

  VARIANT bad;
  V_VT(&bad) = VT_BSTR;
  V_BSTR(&bad) = SysAllocString(L"x");
  EXPECT_EQ(level->DeviceWrite(bad), OPC_E_RANGE);
  VariantClear(&bad);
  EXPECT_EQ(host.writes, 2);
  VariantClear(&host.written);

  port.Callbacks.write = nullptr;
  EXPECT_EQ(level->DeviceWrite(I4(3)), S_OK);
}

TEST_F(TagTree, BrowseFilterVersion2) {
  TOPCTag* pump = root.AddChild(L"Pump");
  pump->SetCanonicalType(VT_BOOL);
  pump->SetAccessRights(3);
  TOPCTag* xbranch = root.AddChild(L"Xb");
  xbranch->AddChild(L"leaf");
  std::vector<std::wstring> names;
  root.ListMatchingChildrenV2(kBrowseBranch, L"X*", VT_EMPTY, 0, names);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"Tank1", L"Xb"}));  // the filter does not apply to branches
  names.clear();
  root.ListMatchingChildrenV2(kBrowseLeaf, L"", VT_EMPTY, 0, names);
  EXPECT_EQ(names, std::vector<std::wstring>{L"Pump"});
  EXPECT_FALSE(pump->MatchesBrowseFilterV2(kBrowseLeaf, L"", VT_EMPTY, 1));  // whole-word equality
  EXPECT_TRUE(pump->MatchesBrowseFilterV2(kBrowseLeaf, L"", VT_EMPTY, 3));
  EXPECT_FALSE(pump->MatchesBrowseFilterV2(kBrowseLeaf, L"", VT_I4, 0));
  EXPECT_TRUE(pump->MatchesBrowseFilterV2(kBrowseLeaf, L"P*", VT_BOOL, 0));
  EXPECT_FALSE(pump->MatchesBrowseFilterV2(4, L"", VT_EMPTY, 0));
}

TEST_F(TagTree, FlatBrowseListsEveryLeafBelowByItemId) {
  TOPCTag* pump = root.AddChild(L"Pump");
  pump->SetCanonicalType(VT_BOOL);
  TOPCTag* line = tank->AddChild(L"Line");
  TOPCTag* speed = line->AddChild(L"Speed");
  speed->SetCanonicalType(VT_R8);
  line->AddChild(L"Lamp")->SetCanonicalType(VT_BOOL);
  std::vector<std::wstring> ids;
  root.ListMatchingChildrenV2(kBrowseFlat, L"", VT_EMPTY, 0, ids);
  EXPECT_EQ(ids, (std::vector<std::wstring>{L"Tank1.Level", L"Tank1.Line.Speed", L"Tank1.Line.Lamp", L"Pump"}));
  // Filters apply to the leaves as for a leaf browse: name, type, rights.
  ids.clear();
  root.ListMatchingChildrenV2(kBrowseFlat, L"L*", VT_EMPTY, 0, ids);
  EXPECT_EQ(ids, (std::vector<std::wstring>{L"Tank1.Level", L"Tank1.Line.Lamp"}));
  ids.clear();
  root.ListMatchingChildrenV2(kBrowseFlat, L"", VT_BOOL, 0, ids);
  EXPECT_EQ(ids, (std::vector<std::wstring>{L"Tank1.Line.Lamp", L"Pump"}));
  ids.clear();
  root.ListMatchingChildrenV2(kBrowseFlat, L"", VT_EMPTY, 3, ids);
  EXPECT_EQ(ids, std::vector<std::wstring>{L"Tank1.Level"});
  // From a branch: the leaves at and below it, still by full item ID.
  ids.clear();
  line->ListMatchingChildrenV2(kBrowseFlat, L"", VT_EMPTY, 0, ids);
  EXPECT_EQ(ids, (std::vector<std::wstring>{L"Tank1.Line.Speed", L"Tank1.Line.Lamp"}));
  for (const auto& id : ids) EXPECT_NE(root.FindByItemId(id), nullptr) << std::string(id.begin(), id.end());
}

namespace {
int filterCalls = 0;
void __stdcall RejectPumps(TagHandle tag, BSTR vendor, BOOL* accept) {
  ++filterCalls;
  EXPECT_STREQ(vendor, L"vendor");
  EXPECT_EQ(*accept, -1);
  if (TOPCTag::FromHandle(tag)->Name() == L"Pump") *accept = 0;
  SysFreeString(vendor);
}
}  // namespace

TEST_F(TagTree, BrowseFilterVersion3WithTheHostFilter) {
  root.AddChild(L"Pump");
  root.AddChild(L"Valve");
  std::vector<std::wstring> names;
  root.ListMatchingChildrenV3(kBrowseItems, L"", L"", names);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"Pump", L"Valve"}));
  names.clear();
  root.ListMatchingChildrenV3(kBrowseBranches, L"", L"", names);
  EXPECT_EQ(names, std::vector<std::wstring>{L"Tank1"});
  port.Callbacks.filter = RejectPumps;
  filterCalls = 0;
  names.clear();
  root.ListMatchingChildrenV3(kBrowseAll, L"[PV]*", L"vendor", names);
  EXPECT_EQ(names, std::vector<std::wstring>{L"Valve"});
  EXPECT_EQ(filterCalls, 2);  // only children that passed the name filter are offered
  names.clear();
  root.ListMatchingChildrenV3(0, L"", L"vendor", names);
  EXPECT_TRUE(names.empty());
}
