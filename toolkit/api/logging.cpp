#include "logging.h"

#include <windows.h>

#include "bstr.h"
#include "module_state.h"

namespace quillon {

void LogOperationError(std::wstring_view message, std::wstring_view operation) {
  LogNotifyProc proc = Module().Callbacks.log;
  if (!proc) return;
  std::wstring line;
  line.reserve(operation.size() + message.size() + 2);
  line.append(L"[").append(operation).append(L"]").append(message);
  Bstr text(line);
  proc(text.Detach());  // the callback owns the line
}

std::wstring WidenMessage(std::string_view message) {
  if (message.empty()) return {};
  // Invalid bytes become U+FFFD rather than failing the conversion.
  int n = MultiByteToWideChar(CP_UTF8, 0, message.data(), int(message.size()), nullptr, 0);
  std::wstring out(size_t(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, message.data(), int(message.size()), out.data(), n);
  return out;
}

}  // namespace quillon
