// Exports that register and unregister the server class, its ProgID and the
// three OPC Data Access categories. Every failure is logged under the
// export's name with the key or category it concerns and the system's reason.
#include <windows.h>
#include <comcat.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "com_ptr.h"
#include "error_texts.h"
#include "exports_state.h"
#include "guard.h"
#include "quillon.h"
#include "reg_key.h"
#include "system_text.h"

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

// Why a step failed, as the log line tells it; nothing when it succeeded.
using Failure = std::optional<std::wstring>;

// Key names and texts come in the host's ANSI code page.
std::wstring Wide(const std::string& ansi) {
  if (ansi.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), nullptr, 0);
  std::wstring out(size_t(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), out.data(), n);
  return out;
}

std::wstring KeyLabel(const std::string& keyName) { return L"HKEY_CLASSES_ROOT\\" + Wide(keyName); }

std::wstring ResultText(HRESULT result) { return WidenMessage(ErrorName(result)); }

// One REG_SZ value; the stored length leaves out the terminating zero.
Failure SetText(const std::string& keyName, const char* valueName, const std::string& text) {
  RegKey key;
  if (LONG r = RegCreateKeyA(HKEY_CLASSES_ROOT, keyName.c_str(), key.Put()); r != ERROR_SUCCESS)
    return L"cannot create " + KeyLabel(keyName) + L": " + SystemText(r);
  if (LONG r = RegSetValueExA(key.Get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              DWORD(text.size()));
      r != ERROR_SUCCESS) {
    const std::wstring value = valueName ? L"the value \"" + Wide(valueName) + L"\"" : L"the default value";
    return L"cannot write " + value + L" of " + KeyLabel(keyName) + L": " + SystemText(r);
  }
  return std::nullopt;
}

bool KeyExists(const std::string& keyName) {
  RegKey key;
  return RegOpenKeyExA(HKEY_CLASSES_ROOT, keyName.c_str(), 0, KEY_READ, key.Put()) != ERROR_FILE_NOT_FOUND;
}

bool ParseGuid(const std::string& text, GUID& guid) {
  std::wstring wide(text.begin(), text.end());
  return text.size() == 38 && SUCCEEDED(IIDFromString(wide.c_str(), &guid));
}

// Both exports refuse these before touching the registry: an empty ProgID
// would name HKEY_CLASSES_ROOT itself, and a class ID that is no GUID can be
// neither put into a category nor taken out of one.
Failure CheckNames(const std::string& classId, const std::string& progId, GUID& clsid) {
  if (!ParseGuid(classId, clsid))
    return L"the ClassID \"" + Wide(classId) + L"\" is not a class ID in registry form, with braces";
  if (progId.empty()) return L"the ProgID is empty";
  return std::nullopt;
}

Failure CategoryManager(ComPtr<ICatRegister>& manager) {
  HRESULT hr = CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                                reinterpret_cast<void**>(manager.Put()));
  if (FAILED(hr)) return L"the component category manager is not available: " + ResultText(hr);
  return std::nullopt;
}

std::wstring CategoryLabel(const Category& category) {
  return L"category \"" + std::wstring(category.description) + L"\"";
}

Failure RegisterFor(const std::string& classId, const GUID& clsid, const std::string& progId,
                    const std::string& description, const std::string& exePath, const Category& category) {
  struct Entry {
    std::string key;
    const char* valueName;
    const std::string& text;
  };
  const std::string clsidKey = "CLSID\\" + classId;
  const std::string apartment = "Apartment";
  const Entry entries[] = {
      {clsidKey, nullptr, description},
      {clsidKey + "\\ProgID", nullptr, progId},
      {clsidKey + "\\LocalServer32", nullptr, exePath},
      {clsidKey + "\\LocalServer32", "ThreadingModel", apartment},
      {progId, nullptr, description},
      {progId + "\\CLSID", nullptr, classId},
      {progId + "\\OPC", nullptr, classId},
  };
  for (const Entry& entry : entries)
    if (Failure failure = SetText(entry.key, entry.valueName, entry.text)) return failure;

  ComPtr<ICatRegister> manager;
  if (Failure failure = CategoryManager(manager)) return failure;
  CATEGORYINFO info{};
  info.catid = category.id;
  info.lcid = 0x409;
  wcsncpy(info.szDescription, category.description, 127);
  if (HRESULT hr = manager->RegisterCategories(1, &info); FAILED(hr))
    return L"cannot register the " + CategoryLabel(category) + L": " + ResultText(hr);

  if (Failure failure = CategoryManager(manager)) return failure;
  CATID id = category.id;
  if (HRESULT hr = manager->RegisterClassImplCategories(clsid, 1, &id); FAILED(hr))
    return L"cannot register the class under the " + CategoryLabel(category) + L": " + ResultText(hr);
  return std::nullopt;
}

// The deletions of the three passes. A key that still holds subkeys cannot
// be deleted yet and a later pass may remove it, so a failed deletion counts
// only when its key is still there after the last pass; a key that is not
// there is already gone.
class KeyRemoval {
 public:
  void Delete(const std::string& keyName) {
    LONG r = RegDeleteKeyA(HKEY_CLASSES_ROOT, keyName.c_str());
    if (r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND)
      failed_.erase(keyName);
    else
      failed_[keyName] = r;
  }

  void Report(std::vector<std::wstring>& failures) const {
    for (const auto& [keyName, error] : failed_)
      if (KeyExists(keyName)) failures.push_back(L"cannot delete " + KeyLabel(keyName) + L": " + SystemText(error));
  }

 private:
  std::map<std::string, LONG> failed_;
};

Failure UnregisterFor(const std::string& classId, const GUID& clsid, const std::string& progId,
                      const Category& category, KeyRemoval& removal) {
  const std::string clsidKey = "CLSID\\" + classId;
  ComPtr<ICatRegister> manager;
  if (Failure failure = CategoryManager(manager)) return failure;
  CATID id = category.id;
  if (HRESULT hr = manager->UnRegisterClassImplCategories(clsid, 1, &id); FAILED(hr)) {
    // The pass deletes nothing: these keys may belong to someone else. A
    // class that implements no category at all was never registered here,
    // and leaving it alone is no failure: there is nothing to remove.
    if (!KeyExists(clsidKey + "\\Implemented Categories")) return std::nullopt;
    return L"cannot remove the class from the " + CategoryLabel(category) + L": " + ResultText(hr);
  }

  for (const char* sub : {"\\ProgID", "\\LocalServer32", "\\Implemented Categories", ""})
    removal.Delete(clsidKey + sub);
  for (const char* sub : {"\\CLSID", "\\OPC", ""}) removal.Delete(progId + sub);
  removal.Delete("AppID\\" + classId);
  return std::nullopt;
}

std::string Text(const char* s) { return s ? s : ""; }

}  // namespace

extern "C" {

// A failed pass ends the registration: the later ones would write the same keys.
QUILLON_API BOOL __stdcall RegServer(const char* classId, const char* progId, const char* description,
                                     const char* exePath) {
  return ExportGuard(Exports().host, L"RegServer", [&]() -> BOOL {
    GUID clsid;
    Failure failure = CheckNames(Text(classId), Text(progId), clsid);
    for (const Category& c : kCategories) {
      if (failure) break;
      failure = RegisterFor(Text(classId), clsid, Text(progId), Text(description), Text(exePath), c);
    }
    if (!failure) return kTrue;
    Exports().host.LogOperationError(*failure, L"RegServer");
    return 0;
  });
}

// Every pass runs whatever the others did, so that as much as can go goes.
QUILLON_API BOOL __stdcall UnregServer(const char* classId, const char* progId) {
  return ExportGuard(Exports().host, L"UnregServer", [&]() -> BOOL {
    GUID clsid;
    if (Failure failure = CheckNames(Text(classId), Text(progId), clsid)) {
      Exports().host.LogOperationError(*failure, L"UnregServer");
      return 0;
    }
    std::vector<std::wstring> failures;
    KeyRemoval removal;
    for (const Category& c : kCategories)
      if (Failure failure = UnregisterFor(Text(classId), clsid, Text(progId), c, removal);
          failure && std::ranges::find(failures, *failure) == failures.end())
        failures.push_back(*failure);
    removal.Report(failures);
    for (const std::wstring& failure : failures) Exports().host.LogOperationError(failure, L"UnregServer");
    return failures.empty() ? kTrue : 0;
  });
}

// Registration as a Windows service is not offered.
QUILLON_API BOOL __stdcall RegServerAsService(LONG) { return 0; }

}  // extern "C"
