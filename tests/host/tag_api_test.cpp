// The tag functions as a host calls them: through Quillon.dll's exports, with
// VARIANT and FILETIME arguments passed by value.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quillon_dll.h"

namespace {

std::vector<std::wstring> lines;
void __stdcall OnLog(BSTR line) {
  lines.emplace_back(line, SysStringLen(line));
  SysFreeString(line);
}

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

class TagApi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(q.module, nullptr);
    ASSERT_TRUE(q.RegTagEx && q.RegTag && q.UnregTag && q.UpdateTag && q.UpdateTagWithTimeStamp &&
                q.AddTagPropertyEx && q.AddTagProperty && q.SetTagProperty && q.SetTagQualifier);
    GUID g;
    CoCreateGuid(&g);
    wchar_t w[40];
    StringFromGUID2(g, w, 40);
    classId.assign(w, w + 38);
    ASSERT_EQ(q.CreateServer(classId.c_str(), 100), -1);
    lines.clear();
    q.SetLogNotify(OnLog);
  }
  void TearDown() override {
    q.SetTagQualifier('.');
    EXPECT_EQ(q.FreeServer(), -1);
  }

  QuillonDll q;
  std::string classId;
};

}  // namespace

TEST_F(TagApi, RegistrationReturnsHandlesAndRefusesNothingByName) {
  TagHandle tank = q.RegTagEx(nullptr, "Tank1", VT_EMPTY, 1);
  ASSERT_NE(tank, nullptr);
  TagHandle level = q.RegTagEx(tank, "Level", VT_R8, 3);
  ASSERT_NE(level, nullptr);
  EXPECT_NE(level, tank);
  EXPECT_NE(q.RegTagEx(tank, "", VT_I4, 1), nullptr);
  EXPECT_NE(q.RegTagEx(tank, "Level", VT_I4, 1), nullptr);
  TagHandle count = q.RegTag(tank, "Count", I4(7), 192, 3);
  EXPECT_NE(count, nullptr);
  VARIANT label = Text(L"\u6db2\u4f4d");
  EXPECT_NE(q.RegTag(nullptr, "Label", label, 192, 1), nullptr);
  VariantClear(&label);
}

TEST_F(TagApi, UpdatesAcceptConvertibleValuesOnly) {
  TagHandle count = q.RegTagEx(nullptr, "Count", VT_I4, 3);
  VARIANT twelve = Text(L"12");
  EXPECT_EQ(q.UpdateTag(count, twelve, 192), -1);
  VariantClear(&twelve);
  VARIANT x = Text(L"x");
  EXPECT_EQ(q.UpdateTag(count, x, 192), 0);
  VariantClear(&x);
  VARIANT empty;
  VariantInit(&empty);
  EXPECT_EQ(q.UpdateTag(count, empty, 192), 0);
  EXPECT_EQ(q.UpdateTag(nullptr, I4(1), 192), 0);
  FILETIME ts{0x89ABCDEF, 0x01DA0000};
  EXPECT_EQ(q.UpdateTagWithTimeStamp(count, I4(3), 0xC0, ts), -1);
  TagHandle level = q.RegTagEx(nullptr, "Level", VT_R8, 3);
  VARIANT yes;
  V_VT(&yes) = VT_BOOL;
  V_BOOL(&yes) = VARIANT_TRUE;
  EXPECT_EQ(q.UpdateTag(level, yes, 192), -1);
  EXPECT_TRUE(lines.empty());
}

TEST_F(TagApi, PropertiesAndTheirRefusals) {
  TagHandle t = q.RegTagEx(nullptr, "Level", VT_R8, 3);
  EXPECT_EQ(q.AddTagPropertyEx(t, "Six", 6, "standard", VT_I4), 0);
  EXPECT_EQ(q.AddTagPropertyEx(t, "Limit", 5000, "High limit", VT_I4), -1);
  EXPECT_EQ(q.AddTagPropertyEx(t, "Limit", 5000, "High limit", VT_I4), 0);
  EXPECT_EQ(q.SetTagProperty(t, 5000, I4(80)), -1);
  EXPECT_EQ(q.SetTagProperty(t, 2, I4(80)), 0);
  VARIANT bad = Text(L"high");
  EXPECT_EQ(q.SetTagProperty(t, 5000, bad), 0);
  VariantClear(&bad);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind(L"[TOPCTag.SetProp]", 0), 0u);
  VARIANT eu = Text(L"m");
  EXPECT_EQ(q.AddTagProperty(t, "EU", 100, "Engineering unit", eu), -1);
  EXPECT_EQ(q.AddTagProperty(t, "EU", 100, "Engineering unit", eu), 0);
  VariantClear(&eu);
}

TEST_F(TagApi, QualifierAndRemoval) {
  EXPECT_EQ(q.SetTagQualifier(' '), 0);
  EXPECT_EQ(q.SetTagQualifier('/'), -1);
  TagHandle tank = q.RegTagEx(nullptr, "Tank1", VT_EMPTY, 1);
  TagHandle level = q.RegTagEx(tank, "Level", VT_R8, 3);
  ASSERT_NE(level, nullptr);
  EXPECT_EQ(q.UnregTag(nullptr), 0);
  EXPECT_EQ(q.UnregTag(tank), -1);
  EXPECT_NE(q.RegTagEx(nullptr, "Tank1", VT_EMPTY, 1), nullptr);
}
