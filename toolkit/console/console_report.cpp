#include "console_report.h"

#include <windows.h>

#include <memory>

namespace quillon {
namespace {

bool Usable(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

struct HandleCloser {
  void operator()(HANDLE h) const {
    if (Usable(h)) CloseHandle(h);
  }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

void Write(HANDLE out, const std::wstring& text) {
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(out, &mode)) {
    WriteConsoleW(out, text.data(), DWORD(text.size()), &written, nullptr);
    return;
  }
  // Redirected into a file or a pipe: UTF-8, which keeps every character.
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return;
  std::string bytes(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), bytes.data(), n, nullptr, nullptr);
  WriteFile(out, bytes.data(), DWORD(bytes.size()), &written, nullptr);
}

}  // namespace

void ReportToConsole(const std::wstring& text) {
  if (HANDLE inherited = GetStdHandle(STD_ERROR_HANDLE); Usable(inherited)) {
    Write(inherited, text);
    return;
  }
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  OwnedHandle console(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
  if (Usable(console.get())) Write(console.get(), text);
  FreeConsole();
}

}  // namespace quillon
