// Registration of the server class in this test's Wine prefix, read back the
// way clients look for servers.
#include <windows.h>
#include <comcat.h>
#include <gtest/gtest.h>

#include <string>

#include "quillon.h"

namespace {

std::string NewGuid() {
  GUID g;
  CoCreateGuid(&g);
  wchar_t w[40];
  StringFromGUID2(g, w, 40);
  return std::string(w, w + 38);
}

std::string ReadText(const std::string& key, const char* value = nullptr) {
  HKEY k;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return "<missing>";
  char buf[512] = {};
  DWORD size = sizeof buf - 1, type = 0;
  LONG r = RegQueryValueExA(k, value, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(k);
  if (r != ERROR_SUCCESS || type != REG_SZ) return "<no value>";
  return std::string(buf, strnlen(buf, size));
}

bool KeyExists(const std::string& key) {
  HKEY k;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  RegCloseKey(k);
  return true;
}

const CATID kCatIds[] = {
    {0x63D5F430, 0xCFE4, 0x11D1, {0xB2, 0xC8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}},
    {0x63D5F432, 0xCFE4, 0x11D1, {0xB2, 0xC8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}},
    {0xCC603642, 0x66D7, 0x48F1, {0xB6, 0x9A, 0xB6, 0x25, 0xE7, 0x36, 0x52, 0xD7}},
};

// Whether the category manager lists the class under the category.
bool ListedUnder(const CATID& category, const CLSID& clsid) {
  ICatInformation* info = nullptr;
  if (FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatInformation,
                              reinterpret_cast<void**>(&info))))
    return false;
  IEnumCLSID* classes = nullptr;
  CATID wanted = category;
  bool found = false;
  if (SUCCEEDED(info->EnumClassesOfCategories(1, &wanted, ULONG(-1), nullptr, &classes))) {
    CLSID c;
    ULONG n = 0;
    while (classes->Next(1, &c, &n) == S_OK)
      if (c == clsid) found = true;
    classes->Release();
  }
  info->Release();
  return found;
}

class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    classId = NewGuid();
    progId = "Quillon.Test." + classId.substr(1, 8);
    std::wstring w(classId.begin(), classId.end());
    IIDFromString(w.c_str(), &clsid);
  }
  void TearDown() override { UnregServer(classId.c_str(), progId.c_str()); }

  std::string classId, progId;
  CLSID clsid{};
};

}  // namespace

TEST_F(Registration, WritesTheSevenEntriesAndTheThreeCategories) {
  ASSERT_EQ(RegServer(classId.c_str(), progId.c_str(), "Test OPC Server", "C:\\srv\\host.exe"), -1);
  const std::string clsidKey = "CLSID\\" + classId;
  EXPECT_EQ(ReadText(clsidKey), "Test OPC Server");
  EXPECT_EQ(ReadText(clsidKey + "\\ProgID"), progId);
  EXPECT_EQ(ReadText(clsidKey + "\\LocalServer32"), "C:\\srv\\host.exe");
  EXPECT_EQ(ReadText(clsidKey + "\\LocalServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(ReadText(progId), "Test OPC Server");
  EXPECT_EQ(ReadText(progId + "\\CLSID"), classId);
  EXPECT_EQ(ReadText(progId + "\\OPC"), classId);
  EXPECT_FALSE(KeyExists("AppID\\" + classId));
  for (const CATID& cat : kCatIds) EXPECT_TRUE(ListedUnder(cat, clsid));
  CLSID fromProgId{};
  std::wstring wp(progId.begin(), progId.end());
  ASSERT_EQ(CLSIDFromProgID(wp.c_str(), &fromProgId), S_OK);
  EXPECT_EQ(fromProgId, clsid);

  // Twice leaves the same entries.
  ASSERT_EQ(RegServer(classId.c_str(), progId.c_str(), "Test OPC Server", "C:\\srv\\host.exe"), -1);
  EXPECT_EQ(ReadText(clsidKey + "\\LocalServer32"), "C:\\srv\\host.exe");
  for (const CATID& cat : kCatIds) EXPECT_TRUE(ListedUnder(cat, clsid));
}

TEST_F(Registration, UnregistrationRemovesKeysAndCategoryMembership) {
  ASSERT_EQ(RegServer(classId.c_str(), progId.c_str(), "Test OPC Server", "C:\\srv\\host.exe"), -1);
  EXPECT_EQ(UnregServer(classId.c_str(), progId.c_str()), -1);
  EXPECT_FALSE(KeyExists("CLSID\\" + classId));
  EXPECT_FALSE(KeyExists(progId));
  for (const CATID& cat : kCatIds) EXPECT_FALSE(ListedUnder(cat, clsid));
}

TEST_F(Registration, UnregisteringAnUnknownClassAnswersTrueAndKeepsForeignKeys) {
  // A key of the same name that the toolkit never wrote: nothing is deleted
  // when the class cannot be taken out of the categories first.
  HKEY k;
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, (progId + "\\OPC").c_str(), &k), ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ(UnregServer(classId.c_str(), progId.c_str()), -1);
  EXPECT_EQ(UnregServer("not a class", progId.c_str()), -1);
  EXPECT_TRUE(KeyExists(progId + "\\OPC"));
  RegDeleteKeyA(HKEY_CLASSES_ROOT, (progId + "\\OPC").c_str());
  RegDeleteKeyA(HKEY_CLASSES_ROOT, progId.c_str());
}

TEST_F(Registration, NoServiceRegistration) {
  EXPECT_EQ(RegServerAsService(1), 0);
  EXPECT_FALSE(KeyExists("CLSID\\" + classId));
}
