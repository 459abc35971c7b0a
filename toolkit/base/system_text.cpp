#include "system_text.h"

#include <cwchar>

namespace quillon {

std::wstring SystemText(LONG code) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, DWORD(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message(text ? text : L"", n);
  LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
    message.pop_back();
  // Win32 errors in decimal, as the system documents them; HRESULTs in hex.
  std::wstring number = std::to_wstring(code);
  if (code < 0) {
    wchar_t hex[16];
    swprintf(hex, 16, L"0x%08lX", static_cast<unsigned long>(code));
    number = hex;
  }
  return (message.empty() ? L"" : message + L" ") + L"(error " + number + L")";
}

}  // namespace quillon
