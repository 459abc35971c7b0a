#include "report.h"

#include <cstdio>
#include <utility>

#include "opc_common.h"
#include "opc_da.h"
#include "output.h"
#include "task_mem.h"

namespace opcclient {
namespace {

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

std::string Trimmed(std::wstring text) {
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
  return Utf8(text);
}

const char* KnownName(HRESULT hr) {
  static const std::pair<HRESULT, const char*> kNames[] = {
      {CO_E_CLASSSTRING, "invalid class string (CO_E_CLASSSTRING)"},
      {REGDB_E_CLASSNOTREG, "class not registered (REGDB_E_CLASSNOTREG)"},
      {CO_E_SERVER_EXEC_FAILURE, "server execution failed (CO_E_SERVER_EXEC_FAILURE)"},
      {E_NOINTERFACE, "no such interface supported (E_NOINTERFACE)"},
      {DISP_E_TYPEMISMATCH, "type mismatch (DISP_E_TYPEMISMATCH)"},
      {DISP_E_OVERFLOW, "out of present range (DISP_E_OVERFLOW)"},
      {HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE), "the server is unavailable (RPC_S_SERVER_UNAVAILABLE)"},
      {RPC_E_DISCONNECTED, "the server disconnected (RPC_E_DISCONNECTED)"},
      {HRESULT_FROM_WIN32(RPC_X_NULL_REF_POINTER), "null reference pointer (RPC_X_NULL_REF_POINTER)"},
  };
  for (const auto& [code, name] : kNames)
    if (code == hr) return name;
  return "";
}

}  // namespace

std::string SystemText(HRESULT hr) {
  LPWSTR buffer = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, DWORD(hr), 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  std::wstring text = n && buffer ? std::wstring(buffer, n) : L"";
  LocalFree(buffer);
  std::string shown = Trimmed(text);
  return shown.empty() ? KnownName(hr) : shown;
}

std::string Reporter::Describe(HRESULT hr) const {
  std::wstring text;
  // A server whose connection is gone cannot explain anything; skip the
  // round trips for the codes that say so.
  const bool lost = hr == RPC_E_DISCONNECTED || hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) ||
                    hr == HRESULT_FROM_WIN32(RPC_S_UNKNOWN_IF) || hr == RPC_E_SERVERFAULT;
  if (server_ && !lost) {
    if (auto common = server_.Query<IOPCCommon>()) {
      quillon::TaskString s;
      if (SUCCEEDED(common->GetErrorString(hr, s.Put())) && s) text = s.Get();
    }
    if (text.empty()) {
      if (auto server = server_.Query<IOPCServer>()) {
        quillon::TaskString s;
        if (SUCCEEDED(server->GetErrorString(hr, LOCALE_SYSTEM_DEFAULT, s.Put())) && s) text = s.Get();
      }
    }
  }
  std::string shown = text.empty() ? SystemText(hr) : Trimmed(text);
  return shown.empty() ? Hex(hr) : Hex(hr) + " " + shown;
}

void Reporter::Error(const std::string& what, HRESULT hr) const { PrintError("opcclient: " + what + ": " + Describe(hr)); }

void Reporter::Error(const std::string& what) const { PrintError("opcclient: " + what); }

void Reporter::ItemError(const std::string& what, HRESULT hr) {
  itemFailed_ = true;
  Error(what, hr);
}

void Reporter::LocalItemError(const std::string& what, HRESULT hr) {
  itemFailed_ = true;
  const std::string text = SystemText(hr);
  PrintError("opcclient: " + what + ": " + Hex(hr) + (text.empty() ? "" : " " + text));
}

void Reporter::Check(HRESULT hr, const std::string& what, ExitCode code) const {
  if (SUCCEEDED(hr)) return;
  Error(what, hr);
  throw Failure{code};
}

}  // namespace opcclient
