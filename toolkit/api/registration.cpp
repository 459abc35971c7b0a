// Exports that register and unregister the server class, its ProgID and the
// three OPC Data Access categories.
#include <windows.h>
#include <comcat.h>

#include <string>

#include "com_ptr.h"
#include "guard.h"
#include "quillon.h"

using namespace quillon;

namespace {

struct Category {
  CATID id;
  const wchar_t* description;
};

// The published OPC Data Access server categories, versions 1.0, 2.0 and 3.0.
const Category kCategories[] = {
    {{0x63D5F430, 0xCFE4, 0x11D1, {0xB2, 0xC8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}},
     L"OPC Data Access Servers Version 1.0"},
    {{0x63D5F432, 0xCFE4, 0x11D1, {0xB2, 0xC8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}},
     L"OPC Data Access Servers Version 2.0"},
    {{0xCC603642, 0x66D7, 0x48F1, {0xB6, 0x9A, 0xB6, 0x25, 0xE7, 0x36, 0x52, 0xD7}},
     L"OPC Data Access Servers Version 3.0"},
};

class RegKey {
 public:
  RegKey() = default;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() {
    if (key_) RegCloseKey(key_);
  }
  HKEY* Put() { return &key_; }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// One REG_SZ value; the stored length leaves out the terminating zero.
bool SetText(const std::string& keyName, const char* valueName, const std::string& text) {
  RegKey key;
  if (RegCreateKeyA(HKEY_CLASSES_ROOT, keyName.c_str(), key.Put()) != ERROR_SUCCESS) return false;
  return RegSetValueExA(key.Get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        DWORD(text.size())) == ERROR_SUCCESS;
}

bool ParseGuid(const std::string& text, GUID& guid) {
  std::wstring wide(text.begin(), text.end());
  return text.size() == 38 && SUCCEEDED(IIDFromString(wide.c_str(), &guid));
}

ComPtr<ICatRegister> CategoryManager() {
  ComPtr<ICatRegister> manager;
  CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                   reinterpret_cast<void**>(manager.Put()));
  return manager;
}

bool RegisterFor(const std::string& classId, const std::string& progId, const std::string& description,
                 const std::string& exePath, const Category& category) {
  const std::string clsidKey = "CLSID\\" + classId;
  if (!SetText(clsidKey, nullptr, description) || !SetText(clsidKey + "\\ProgID", nullptr, progId) ||
      !SetText(clsidKey + "\\LocalServer32", nullptr, exePath) ||
      !SetText(clsidKey + "\\LocalServer32", "ThreadingModel", "Apartment") ||
      !SetText(progId, nullptr, description) || !SetText(progId + "\\CLSID", nullptr, classId) ||
      !SetText(progId + "\\OPC", nullptr, classId))
    return false;

  ComPtr<ICatRegister> manager = CategoryManager();
  if (!manager) return false;
  CATEGORYINFO info{};
  info.catid = category.id;
  info.lcid = 0x409;
  wcsncpy(info.szDescription, category.description, 127);
  if (FAILED(manager->RegisterCategories(1, &info))) return false;

  GUID clsid;
  if (!ParseGuid(classId, clsid)) return false;
  manager = CategoryManager();
  CATID id = category.id;
  return manager && SUCCEEDED(manager->RegisterClassImplCategories(clsid, 1, &id));
}

void UnregisterFor(const std::string& classId, const std::string& progId, const Category& category) {
  GUID clsid;
  if (!ParseGuid(classId, clsid)) return;
  ComPtr<ICatRegister> manager = CategoryManager();
  CATID id = category.id;
  if (!manager || FAILED(manager->UnRegisterClassImplCategories(clsid, 1, &id))) return;

  const std::string clsidKey = "CLSID\\" + classId;
  {
    RegKey key;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, clsidKey.c_str(), key.Put()) == ERROR_SUCCESS)
      for (const char* sub : {"ProgID", "LocalServer32", "Implemented Categories"}) RegDeleteKeyA(key.Get(), sub);
  }
  RegDeleteKeyA(HKEY_CLASSES_ROOT, clsidKey.c_str());
  {
    RegKey key;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, progId.c_str(), key.Put()) == ERROR_SUCCESS)
      for (const char* sub : {"CLSID", "OPC"}) RegDeleteKeyA(key.Get(), sub);
  }
  RegDeleteKeyA(HKEY_CLASSES_ROOT, progId.c_str());
  RegDeleteKeyA(HKEY_CLASSES_ROOT, ("AppID\\" + classId).c_str());
}

std::string Text(const char* s) { return s ? s : ""; }

}  // namespace

extern "C" {

QUILLON_API BOOL __stdcall RegServer(const char* classId, const char* progId, const char* description,
                                     const char* exePath) {
  return QuietGuard([&]() -> BOOL {
    for (const Category& c : kCategories) RegisterFor(Text(classId), Text(progId), Text(description), Text(exePath), c);
    return kTrue;
  });
}

QUILLON_API BOOL __stdcall UnregServer(const char* classId, const char* progId) {
  return QuietGuard([&]() -> BOOL {
    for (const Category& c : kCategories) UnregisterFor(Text(classId), Text(progId), c);
    return kTrue;
  });
}

// Registration as a Windows service is not offered.
QUILLON_API BOOL __stdcall RegServerAsService(LONG) { return 0; }

}  // extern "C"
