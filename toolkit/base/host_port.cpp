#include "host_port.h"

#include <oleauto.h>

namespace quillon {

void HostPort::LogOperationError(std::wstring_view message, std::wstring_view operation) const noexcept {
  LogNotifyProc proc = Callbacks.log;
  if (!proc) return;
  try {
    std::wstring line;
    line.reserve(operation.size() + message.size() + 2);
    line.append(L"[").append(operation).append(L"]").append(message);
    if (BSTR text = SysAllocStringLen(line.data(), UINT(line.size()))) proc(text);  // the callback owns the line
  } catch (...) {
    // A line that cannot be formed is dropped: logging never fails its caller.
  }
}

}  // namespace quillon
