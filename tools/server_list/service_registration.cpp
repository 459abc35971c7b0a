#include "service_registration.h"

#include <windows.h>
#include <objbase.h>

#include <cwctype>

#include "opc_server_list.h"
#include "reg_key.h"
#include "system_text.h"

namespace serverlist {
namespace {

using quillon::RegKey;
using quillon::SystemText;

constexpr wchar_t kProgId[] = L"OPC.ServerList.1";
constexpr wchar_t kVersionIndependentProgId[] = L"OPC.ServerList";
constexpr wchar_t kUserType[] = L"OPC Server List";

std::wstring ClassText() {
  wchar_t text[40] = {};
  StringFromGUID2(CLSID_OpcServerList, text, 40);
  return text;
}

std::wstring ClassKey() { return L"CLSID\\" + ClassText(); }

std::wstring DefaultText(const std::wstring& key, const wchar_t* value = nullptr) {
  DWORD bytes = 0;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), value, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS)
    return {};
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = DWORD(text.size() * sizeof(wchar_t));
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), value, RRF_RT_REG_SZ, nullptr, text.data(), &bytes) !=
      ERROR_SUCCESS)
    return {};
  text.resize(wcsnlen(text.c_str(), text.size()));
  return text;
}

bool KeyExists(const std::wstring& key) {
  RegKey k;
  return RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, k.Put()) == ERROR_SUCCESS;
}

std::wstring FullPath(const std::wstring& path) {
  DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
  full.resize(n);
  return full;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  std::wstring fa = FullPath(a), fb = FullPath(b);
  return CompareStringOrdinal(fa.c_str(), int(fa.size()), fb.c_str(), int(fb.size()), TRUE) == CSTR_EQUAL;
}

bool FileExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Step writes Value under HKEY_CLASSES_ROOT\Key; the first failure is kept.
class KeyWriter {
 public:
  void Set(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    if (!failure_.empty()) return;
    RegKey k;
    LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, k.Put(), nullptr);
    if (status == ERROR_SUCCESS)
      status = RegSetValueExW(k.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              DWORD((value.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) failure_ = L"cannot write HKEY_CLASSES_ROOT\\" + key + L": " + SystemText(status);
  }
  const std::wstring& Failure() const { return failure_; }

 private:
  std::wstring failure_;
};

// Removes Key and what it holds; a key that is not there is no failure.
std::wstring DeleteKey(const std::wstring& key) {
  LONG status = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
  if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) return {};
  return L"cannot delete HKEY_CLASSES_ROOT\\" + key + L": " + SystemText(status);
}

// Calls Entry ("DllRegisterServer" or "DllUnregisterServer") of the DLL.
std::wstring CallProxyEntry(const std::wstring& dll, const char* entry) {
  HMODULE module = LoadLibraryExW(dll.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) return L"cannot load " + dll + L": " + SystemText(LONG(GetLastError()));
  std::wstring failure;
  auto call = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(GetProcAddress(module, entry)));
  if (!call) {
    failure = dll + L" has no entry point " + std::wstring(entry, entry + strlen(entry));
  } else if (HRESULT hr = call(); FAILED(hr)) {
    failure = std::wstring(entry, entry + strlen(entry)) + L" of " + dll + L" failed: " + SystemText(hr);
  }
  FreeLibrary(module);
  return failure;
}

// The class key and the ProgIDs that still name the class: what the
// registration wrote. The first failure, or nothing.
std::wstring RemoveClassKeys() {
  const std::wstring clsid = ClassText();
  std::wstring failure;
  // A ProgID that now names another class is someone else's.
  for (const wchar_t* progId : {kProgId, kVersionIndependentProgId}) {
    std::wstring named = DefaultText(std::wstring(progId) + L"\\CLSID");
    if (CompareStringOrdinal(named.c_str(), -1, clsid.c_str(), -1, TRUE) != CSTR_EQUAL) continue;
    if (std::wstring f = DeleteKey(progId); failure.empty()) failure = f;
  }
  if (std::wstring f = DeleteKey(ClassKey()); failure.empty()) failure = f;
  return failure;
}

}  // namespace

std::wstring ProgramOfCommand(const std::wstring& command) {
  size_t start = command.find_first_not_of(L" \t");
  if (start == std::wstring::npos) return {};
  if (command[start] == L'"') {
    size_t end = command.find(L'"', start + 1);
    return command.substr(start + 1, end == std::wstring::npos ? std::wstring::npos : end - start - 1);
  }
  // Unquoted: the program ends with its .exe, even where its path has spaces.
  std::wstring lower(command);
  for (wchar_t& c : lower) c = wchar_t(std::towlower(c));
  size_t exe = lower.find(L".exe", start);
  if (exe != std::wstring::npos) return command.substr(start, exe + 4 - start);
  size_t end = command.find_first_of(L" \t", start);
  return command.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}

Registered CurrentRegistration() {
  const std::wstring key = ClassKey();
  if (!KeyExists(key)) return {};
  if (std::wstring appId = DefaultText(key, L"AppID"); !appId.empty()) {
    if (std::wstring service = DefaultText(L"AppID\\" + appId, L"LocalService"); !service.empty())
      return {Registered::kService, service};
  }
  if (std::wstring command = DefaultText(key + L"\\LocalServer32"); !command.empty())
    return {Registered::kProgram, ProgramOfCommand(command)};
  return {};
}

RegistrationResult RegisterService(const std::wstring& program, const std::wstring& proxyDll) {
  const Registered current = CurrentRegistration();
  if (current.kind == Registered::kService)
    return {true, L"the server list service \"" + current.where + L"\" is registered already; it stays in charge"};
  std::wstring replaced;
  if (current.kind == Registered::kProgram && !SamePath(current.where, program)) {
    if (FileExists(current.where))
      return {true, L"the server list service " + current.where + L" is registered already; it stays in charge"};
    replaced = L" in place of " + current.where + L", which is gone";
  }

  // The proxies first: a class whose interfaces cannot be marshalled is
  // worse than none.
  if (std::wstring failure = CallProxyEntry(proxyDll, "DllRegisterServer"); !failure.empty()) return {false, failure};
  const std::wstring key = ClassKey(), clsid = ClassText();
  KeyWriter w;
  w.Set(key, nullptr, kUserType);
  w.Set(key + L"\\LocalServer32", nullptr, L"\"" + program + L"\"");
  w.Set(key + L"\\ProgID", nullptr, kProgId);
  w.Set(key + L"\\VersionIndependentProgID", nullptr, kVersionIndependentProgId);
  w.Set(kProgId, nullptr, kUserType);
  w.Set(std::wstring(kProgId) + L"\\CLSID", nullptr, clsid);
  w.Set(kVersionIndependentProgId, nullptr, kUserType);
  w.Set(std::wstring(kVersionIndependentProgId) + L"\\CLSID", nullptr, clsid);
  w.Set(std::wstring(kVersionIndependentProgId) + L"\\CurVer", nullptr, kProgId);
  if (!w.Failure().empty()) {
    RemoveClassKeys();
    CallProxyEntry(proxyDll, "DllUnregisterServer");
    return {false, w.Failure()};
  }
  return {true, L"registered " + program + replaced};
}

RegistrationResult UnregisterService(const std::wstring& program, const std::wstring& proxyDll) {
  const Registered current = CurrentRegistration();
  if (current.kind != Registered::kProgram || !SamePath(current.where, program))
    return {true, L"the server list service is not this program's registration; left as it is"};

  std::wstring failure = CallProxyEntry(proxyDll, "DllUnregisterServer");
  if (std::wstring f = RemoveClassKeys(); failure.empty()) failure = f;
  if (!failure.empty()) return {false, failure};
  return {true, L"unregistered " + program};
}

}  // namespace serverlist
