#pragma once
// HKEY_CLASSES_ROOT of this process redirected, for the fixture's lifetime, to
// a key of its own under HKEY_CURRENT_USER: registrations made in the tests
// never touch the machine's, nor the service the other tests use.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

namespace serverlist_test {

class RegistrySandbox : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = L"Software\\QuillonTests\\ServerList" + std::to_wstring(GetCurrentProcessId());
    RegDeleteTreeW(HKEY_CURRENT_USER, root_.c_str());
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, root_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &classes_,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, classes_), ERROR_SUCCESS);
  }
  void TearDown() override {
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    if (classes_) RegCloseKey(classes_);
    RegDeleteTreeW(HKEY_CURRENT_USER, root_.c_str());
  }

  static void Set(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY k;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   DWORD((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(k);
  }
  // The value, or "<none>" when the key or the value is not there.
  static std::wstring Get(const std::wstring& key, const wchar_t* name = nullptr) {
    wchar_t text[512];
    DWORD bytes = sizeof text;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS)
      return L"<none>";
    return text;
  }
  static bool Exists(const std::wstring& key) {
    HKEY k;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
  }

 private:
  std::wstring root_;
  HKEY classes_ = nullptr;
};

}  // namespace serverlist_test
