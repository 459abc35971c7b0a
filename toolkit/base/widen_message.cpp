#include <windows.h>

#include "logging.h"

namespace quillon {

std::wstring WidenMessage(std::string_view message) {
  if (message.empty()) return {};
  // Invalid bytes become U+FFFD rather than failing the conversion.
  int n = MultiByteToWideChar(CP_UTF8, 0, message.data(), int(message.size()), nullptr, 0);
  std::wstring out(size_t(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, message.data(), int(message.size()), out.data(), n);
  return out;
}

}  // namespace quillon
