#include <gtest/gtest.h>

#include "host_port.h"
#include "opc_error.h"
#include "opc_tag.h"
#include "property_lists.h"

using namespace quillon;

namespace {

class TagProperties : public ::testing::Test {
 protected:
  void SetUp() override {
    tank = root.AddChild(L"Tank1");
    level = tank->AddChild(L"Level");
    level->SetCanonicalType(VT_R8);
    level->SetAccessRights(3);
  }

  HostPort host;
  TOPCTag root{std::make_shared<const TagContext>(TagContext{host, 250}), nullptr, L"ROOT"};
  TOPCTag* tank = nullptr;
  TOPCTag* level = nullptr;
};

struct Available {
  DWORD count = 0;
  DWORD* ids = nullptr;
  LPWSTR* descriptions = nullptr;
  VARTYPE* types = nullptr;
  ~Available() {
    for (DWORD i = 0; i < count; ++i) CoTaskMemFree(descriptions[i]);
    CoTaskMemFree(ids);
    CoTaskMemFree(descriptions);
    CoTaskMemFree(types);
  }
};

VARIANT Bstr(const wchar_t* s) {
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(s);
  return v;
}

}  // namespace

TEST_F(TagProperties, EveryTagHasTheSixStandardOnes) {
  Available a;
  ASSERT_EQ(QueryAvailableProperties(*level, &a.count, &a.ids, &a.descriptions, &a.types), S_OK);
  ASSERT_EQ(a.count, 6u);
  const wchar_t* descriptions[] = {L"Item Canonical DataType", L"Item Value",         L"Item Quality",
                                   L"Item Timestamp",          L"Item Access Rights", L"Server Scan Rate"};
  const wchar_t* names[] = {L"DATATYPE", L"CV", L"QUALITY", L"TIME", L"ACCESSRIGHT", L"SCANRATE"};
  const VARTYPE types[] = {VT_I2, VT_R8, VT_I2, VT_DATE, VT_I4, VT_R4};
  for (DWORD i = 0; i < 6; ++i) {
    EXPECT_EQ(a.ids[i], i + 1);
    EXPECT_STREQ(a.descriptions[i], descriptions[i]);
    EXPECT_EQ(a.types[i], types[i]);
    // The item IDs keep the short names, and resolve to the tag.
    EXPECT_EQ(level->PropertyItemId(int(i)), std::wstring(L"Tank1.Level.") + names[i]);
    EXPECT_EQ(root.FindByItemId(level->PropertyItemId(int(i))), level);
  }
  EXPECT_EQ(tank->PropertyCount(), 6);  // branches too
}

TEST_F(TagProperties, CustomPropertiesFollowWithTheirItemIds) {
  ASSERT_TRUE(level->AddProperty(L"EU", 100, L"Engineering unit", VT_BSTR));
  EXPECT_FALSE(level->AddProperty(L"EU2", 100, L"again", VT_BSTR));
  EXPECT_FALSE(level->AddProperty(L"Six", 6, L"standard", VT_I4));
  EXPECT_FALSE(level->AddProperty(L"Zero", 0, L"standard", VT_I4));
  Available a;
  ASSERT_EQ(QueryAvailableProperties(*level, &a.count, &a.ids, &a.descriptions, &a.types), S_OK);
  ASSERT_EQ(a.count, 7u);
  EXPECT_EQ(a.ids[6], 100u);
  EXPECT_STREQ(a.descriptions[6], L"Engineering unit");
  EXPECT_EQ(a.types[6], VT_BSTR);
  EXPECT_EQ(level->PropertyItemId(6), L"Tank1.Level.EU");
  EXPECT_EQ(level->PropertyItemId(2), L"Tank1.Level.QUALITY");
  EXPECT_EQ(root.FindByItemId(L"Tank1.Level.eu"), level);
  EXPECT_EQ(level->IndexOfPropertyName(L"eu"), 6);
  EXPECT_EQ(level->IndexOfPropertyId(100), 6);
  EXPECT_EQ(level->IndexOfPropertyId(7), -1);
}

TEST_F(TagProperties, GetItemPropertiesReportsUnknownIdsPerEntry) {
  VARIANT v;
  V_VT(&v) = VT_R8;
  V_R8(&v) = 12.5;
  FILETIME noon{};  // 2024-01-01 12:00:00 UTC
  SYSTEMTIME st{2024, 1, 1, 1, 12, 0, 0, 0};
  SystemTimeToFileTime(&st, &noon);
  ASSERT_EQ(level->Update(v, 0xC0, noon), S_OK);

  DWORD ids[] = {2, 99, 4, 6, 1, 5};
  VARIANT* values = nullptr;
  HRESULT* errors = nullptr;
  ASSERT_EQ(GetItemProperties(*level, 6, ids, &values, &errors), S_FALSE);
  EXPECT_EQ(errors[0], S_OK);
  EXPECT_EQ(V_VT(&values[0]), VT_R8);
  EXPECT_EQ(V_R8(&values[0]), 12.5);
  EXPECT_EQ(errors[1], OPC_E_INVALID_PID);
  EXPECT_EQ(V_VT(&values[1]), VT_EMPTY);
  ASSERT_EQ(V_VT(&values[2]), VT_DATE);
  SYSTEMTIME back{};
  VariantTimeToSystemTime(V_DATE(&values[2]), &back);
  EXPECT_EQ(back.wHour, 12);  // UTC, whatever the local zone
  EXPECT_EQ(back.wDay, 1);
  EXPECT_EQ(V_VT(&values[3]), VT_R4);
  EXPECT_EQ(V_R4(&values[3]), 250.0f);
  EXPECT_EQ(V_VT(&values[4]), VT_I2);
  EXPECT_EQ(V_I2(&values[4]), VT_R8);
  EXPECT_EQ(V_VT(&values[5]), VT_I4);
  EXPECT_EQ(V_I4(&values[5]), 3);
  for (int i = 0; i < 6; ++i) VariantClear(&values[i]);
  CoTaskMemFree(values);
  CoTaskMemFree(errors);
}

TEST_F(TagProperties, LookupItemIdsCoversStandardAndCustomIds) {
  ASSERT_TRUE(level->AddProperty(L"EU", 100, L"Engineering unit", VT_BSTR));
  DWORD ids[] = {3, 100, 5000};
  HRESULT* errors = nullptr;
  LPWSTR* itemIds = nullptr;
  ASSERT_EQ(LookupItemIDs(*level, 3, ids, &errors, &itemIds), S_FALSE);
  EXPECT_STREQ(itemIds[0], L"Tank1.Level.QUALITY");
  EXPECT_STREQ(itemIds[1], L"Tank1.Level.EU");
  EXPECT_EQ(itemIds[2], nullptr);
  EXPECT_EQ(errors[2], OPC_E_INVALID_PID);
  for (int i = 0; i < 3; ++i) CoTaskMemFree(itemIds[i]);
  CoTaskMemFree(itemIds);
  CoTaskMemFree(errors);
}

TEST_F(TagProperties, SetPropertyConvertsAndRefusesStandardOrAbsentIds) {
  ASSERT_TRUE(level->AddProperty(L"Limit", 5001, L"High limit", VT_I4));
  VARIANT text = Bstr(L"75");
  EXPECT_TRUE(level->SetProperty(5001, text));
  VariantClear(&text);
  VARIANT value{};
  level->PropertyValueAt(6, value);
  EXPECT_EQ(V_VT(&value), VT_I4);
  EXPECT_EQ(V_I4(&value), 75);
  VARIANT bad = Bstr(L"high");
  EXPECT_FALSE(level->SetProperty(5001, bad));
  EXPECT_FALSE(level->SetProperty(2, bad));
  EXPECT_FALSE(level->SetProperty(77, bad));
  VariantClear(&bad);
  VARIANT unchanged{};
  level->PropertyValueAt(6, unchanged);
  EXPECT_EQ(V_I4(&unchanged), 75);
}

TEST_F(TagProperties, BrowseElementWithAllPropertiesOrChosenOnes) {
  ASSERT_TRUE(level->AddProperty(L"EU", 100, L"Engineering unit", VT_BSTR));
  OPCBROWSEELEMENT all{};
  FillBrowseElement(*level, true, false, all, 0, nullptr);
  EXPECT_STREQ(all.szName, L"Level");
  EXPECT_STREQ(all.szItemID, L"Tank1.Level");
  EXPECT_EQ(all.dwFlagValue, DWORD(OPC_BROWSE_ISITEM));
  ASSERT_EQ(all.ItemProperties.dwNumProperties, 7u);
  EXPECT_EQ(all.ItemProperties.hrErrorID, S_OK);
  EXPECT_EQ(all.ItemProperties.pItemProperties[6].dwPropertyID, 100u);
  EXPECT_STREQ(all.ItemProperties.pItemProperties[6].szItemID, L"Tank1.Level.EU");
  EXPECT_EQ(V_VT(&all.ItemProperties.pItemProperties[1].vValue), VT_EMPTY);  // no values asked for

  OPCBROWSEELEMENT some{};
  DWORD ids[] = {2, 42};
  FillBrowseElement(*tank, false, true, some, 2, ids);
  EXPECT_EQ(some.dwFlagValue, DWORD(OPC_BROWSE_HASCHILDREN));
  ASSERT_EQ(some.ItemProperties.dwNumProperties, 2u);
  EXPECT_EQ(some.ItemProperties.hrErrorID, S_FALSE);
  EXPECT_EQ(some.ItemProperties.pItemProperties[1].hrErrorID, OPC_E_INVALID_PID);
  EXPECT_EQ(some.ItemProperties.pItemProperties[1].szItemID, nullptr);

  OPCITEMPROPERTIES none{};
  FillItemProperties(*level, true, 0, none, nullptr);
  EXPECT_EQ(none.dwNumProperties, 0u);
  EXPECT_EQ(none.pItemProperties, nullptr);

  for (OPCBROWSEELEMENT* e : {&all, &some}) {
    for (DWORD i = 0; i < e->ItemProperties.dwNumProperties; ++i) {
      CoTaskMemFree(e->ItemProperties.pItemProperties[i].szItemID);
      CoTaskMemFree(e->ItemProperties.pItemProperties[i].szDescription);
      VariantClear(&e->ItemProperties.pItemProperties[i].vValue);
    }
    CoTaskMemFree(e->ItemProperties.pItemProperties);
    CoTaskMemFree(e->szName);
    CoTaskMemFree(e->szItemID);
  }
}
