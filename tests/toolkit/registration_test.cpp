// Registration of the server class in this test's Wine prefix, read back the
// way clients look for servers, and refused by keys the process may not write.
#include <windows.h>
#include <comcat.h>
#include <sddl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exports_state.h"
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

std::vector<std::wstring> logLines;
void __stdcall CaptureLog(BSTR line) {
  logLines.emplace_back(line, SysStringLen(line));
  SysFreeString(line);
}

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

bool StartsWith(const std::wstring& text, const std::wstring& prefix) { return text.rfind(prefix, 0) == 0; }

// A key of HKEY_CLASSES_ROOT whose security descriptor denies everyone the
// Denied rights, until the object gives them back.
class LockedKey {
 public:
  LockedKey(const std::string& name, DWORD denied) : name_(name) {
    EXPECT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, name.c_str(), &key_), ERROR_SUCCESS) << name;
    char sddl[64];
    snprintf(sddl, sizeof sddl, "D:(D;;0x%lx;;;WD)(A;;KA;;;WD)", static_cast<unsigned long>(denied));
    locked_ = Apply(sddl);
  }
  LockedKey(const LockedKey&) = delete;
  LockedKey& operator=(const LockedKey&) = delete;
  ~LockedKey() {
    Apply("D:(A;;KA;;;WD)");
    RegCloseKey(key_);
  }
  bool Locked() const { return locked_; }

 private:
  bool Apply(const char* sddl) const {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr)) return false;
    const bool done = RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
    LocalFree(sd);
    return done;
  }

  std::string name_;
  HKEY key_ = nullptr;
  bool locked_ = false;
};

class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    classId = NewGuid();
    progId = "Quillon.Test." + classId.substr(1, 8);
    IIDFromString(Wide(classId).c_str(), &clsid);
    logLines.clear();
    ASSERT_EQ(SetLogNotify(CaptureLog), -1);
  }
  void TearDown() override {
    UnregServer(classId.c_str(), progId.c_str());
    // What a failed registration left behind, which unregistration leaves to its owner.
    RegDeleteTreeA(HKEY_CLASSES_ROOT, ("CLSID\\" + classId).c_str());
    RegDeleteTreeA(HKEY_CLASSES_ROOT, progId.c_str());
    quillon::Exports().host.Callbacks.log = nullptr;
  }

  bool ListedUnderAny() const {
    for (const CATID& cat : kCatIds)
      if (ListedUnder(cat, clsid)) return true;
    return false;
  }

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
  EXPECT_TRUE(logLines.empty());
}

TEST_F(Registration, UnregistrationRemovesKeysAndCategoryMembership) {
  ASSERT_EQ(RegServer(classId.c_str(), progId.c_str(), "Test OPC Server", "C:\\srv\\host.exe"), -1);
  EXPECT_EQ(UnregServer(classId.c_str(), progId.c_str()), -1);
  EXPECT_FALSE(KeyExists("CLSID\\" + classId));
  EXPECT_FALSE(KeyExists(progId));
  for (const CATID& cat : kCatIds) EXPECT_FALSE(ListedUnder(cat, clsid));
  EXPECT_TRUE(logLines.empty());
}

TEST_F(Registration, UnregisteringAnUnknownClassSucceedsAndKeepsForeignKeys) {
  // A key of the same name that the toolkit never wrote: nothing is deleted
  // when the class cannot be taken out of the categories first, and a class
  // that was never registered leaves nothing to remove.
  HKEY k;
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, (progId + "\\OPC").c_str(), &k), ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ(UnregServer(classId.c_str(), progId.c_str()), -1);
  EXPECT_TRUE(logLines.empty());
  EXPECT_TRUE(KeyExists(progId + "\\OPC"));
}

TEST_F(Registration, ANameThatIsNoClassIdOrAnEmptyProgIdIsRefusedBeforeAnyKeyIsTouched) {
  HKEY k;
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, (progId + "\\OPC").c_str(), &k), ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ(UnregServer("not a class", progId.c_str()), 0);
  EXPECT_TRUE(KeyExists(progId + "\\OPC"));
  ASSERT_EQ(logLines.size(), 1u);
  EXPECT_EQ(logLines[0], L"[UnregServer]the ClassID \"not a class\" is not a class ID in registry form, with braces");

  EXPECT_EQ(RegServer("not a class", "Quillon.Test.NoClass", "Test OPC Server", "C:\\srv\\host.exe"), 0);
  EXPECT_FALSE(KeyExists("CLSID\\not a class"));
  EXPECT_FALSE(KeyExists("Quillon.Test.NoClass"));
  ASSERT_EQ(logLines.size(), 2u);
  EXPECT_TRUE(StartsWith(logLines[1], L"[RegServer]the ClassID \"not a class\"")) << logLines[1];

  // An empty ProgID would name HKEY_CLASSES_ROOT itself.
  EXPECT_EQ(RegServer(classId.c_str(), "", "Test OPC Server", "C:\\srv\\host.exe"), 0);
  EXPECT_FALSE(KeyExists("CLSID\\" + classId));
  EXPECT_EQ(UnregServer(classId.c_str(), ""), 0);
  ASSERT_EQ(logLines.size(), 4u);
  EXPECT_EQ(logLines[2], L"[RegServer]the ProgID is empty");
  EXPECT_EQ(logLines[3], L"[UnregServer]the ProgID is empty");
}

TEST_F(Registration, AValueThatMayNotBeWrittenFailsRegistrationAndSaysWhere) {
  const std::string serverKey = "CLSID\\" + classId + "\\LocalServer32";
  {
    LockedKey locked(serverKey, KEY_SET_VALUE);
    ASSERT_TRUE(locked.Locked());
    EXPECT_EQ(RegServer(classId.c_str(), progId.c_str(), "Test OPC Server", "C:\\srv\\host.exe"), 0);
    ASSERT_EQ(logLines.size(), 1u);
    const std::wstring expected = L"[RegServer]cannot write the default value of HKEY_CLASSES_ROOT\\" + Wide(serverKey) + L": ";
    EXPECT_TRUE(StartsWith(logLines[0], expected)) << logLines[0];
    EXPECT_NE(logLines[0].find(L"(error 5)"), std::wstring::npos) << logLines[0];
    // The first pass ended there: no ProgID key and no category.
    EXPECT_EQ(ReadText(serverKey), "<no value>");
    EXPECT_FALSE(KeyExists(progId));
    EXPECT_FALSE(ListedUnderAny());
  }
  // Writable again, the same call succeeds.
  logLines.clear();
  EXPECT_EQ(RegServer(classId.c_str(), progId.c_str(), "Test OPC Server", "C:\\srv\\host.exe"), -1);
  EXPECT_EQ(ReadText(serverKey), "C:\\srv\\host.exe");
  EXPECT_TRUE(logLines.empty());
}

TEST_F(Registration, AProgIdThatCannotBeAKeyNameFailsRegistration) {
  for (const std::string& bad : {"\\" + progId, progId + "." + std::string(300, 'x')}) {
    logLines.clear();
    EXPECT_EQ(RegServer(classId.c_str(), bad.c_str(), "Test OPC Server", "C:\\srv\\host.exe"), 0);
    ASSERT_EQ(logLines.size(), 1u);
    EXPECT_TRUE(StartsWith(logLines[0], L"[RegServer]cannot create HKEY_CLASSES_ROOT\\" + Wide(bad) + L": "))
        << logLines[0];
    EXPECT_FALSE(ListedUnderAny());
  }
}

TEST_F(Registration, AKeyThatCannotBeDeletedFailsUnregistrationAndTheRestGoes) {
  ASSERT_EQ(RegServer(classId.c_str(), progId.c_str(), "Test OPC Server", "C:\\srv\\host.exe"), -1);
  // A subkey of the class that the toolkit did not write keeps the class key.
  const std::string clsidKey = "CLSID\\" + classId;
  HKEY k;
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, (clsidKey + "\\InprocHandler32").c_str(), &k), ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ(UnregServer(classId.c_str(), progId.c_str()), 0);
  ASSERT_EQ(logLines.size(), 1u);
  EXPECT_TRUE(StartsWith(logLines[0], L"[UnregServer]cannot delete HKEY_CLASSES_ROOT\\" + Wide(clsidKey) + L": "))
      << logLines[0];
  EXPECT_TRUE(KeyExists(clsidKey));
  EXPECT_FALSE(KeyExists(clsidKey + "\\LocalServer32"));
  EXPECT_FALSE(KeyExists(clsidKey + "\\Implemented Categories"));
  EXPECT_FALSE(KeyExists(progId));
  EXPECT_FALSE(ListedUnderAny());
}

TEST_F(Registration, AClassThatCannotLeaveItsCategoriesFailsUnregistrationAndKeepsItsKeys) {
  ASSERT_EQ(RegServer(classId.c_str(), progId.c_str(), "Test OPC Server", "C:\\srv\\host.exe"), -1);
  const std::string categoriesKey = "CLSID\\" + classId + "\\Implemented Categories";
  {
    LockedKey locked(categoriesKey, KEY_SET_VALUE | KEY_CREATE_SUB_KEY);
    ASSERT_TRUE(locked.Locked());
    EXPECT_EQ(UnregServer(classId.c_str(), progId.c_str()), 0);
    ASSERT_EQ(logLines.size(), 3u);
    EXPECT_TRUE(StartsWith(logLines[0],
                           L"[UnregServer]cannot remove the class from the category \"OPC Data Access Servers Version 1.0\": "))
        << logLines[0];
    EXPECT_TRUE(StartsWith(logLines[2],
                           L"[UnregServer]cannot remove the class from the category \"OPC Data Access Servers Version 3.0\": "))
        << logLines[2];
    EXPECT_EQ(ReadText("CLSID\\" + classId + "\\LocalServer32"), "C:\\srv\\host.exe");
    EXPECT_EQ(ReadText(progId + "\\OPC"), classId);
    for (const CATID& cat : kCatIds) EXPECT_TRUE(ListedUnder(cat, clsid));
  }
  logLines.clear();
  EXPECT_EQ(UnregServer(classId.c_str(), progId.c_str()), -1);
  EXPECT_TRUE(logLines.empty());
  EXPECT_FALSE(KeyExists("CLSID\\" + classId));
  EXPECT_FALSE(ListedUnderAny());
}

TEST_F(Registration, NoServiceRegistration) {
  EXPECT_EQ(RegServerAsService(1), 0);
  EXPECT_FALSE(KeyExists("CLSID\\" + classId));
}
