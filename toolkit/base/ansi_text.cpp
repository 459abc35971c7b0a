#include "ansi_text.h"

#include <windows.h>

namespace quillon {

std::wstring FromAnsi(const char* s) {
  if (!s || !*s) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
  if (n <= 1) return {};
  std::wstring out(size_t(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, s, -1, out.data(), n);
  out.resize(size_t(n - 1));
  return out;
}

}  // namespace quillon
