#pragma once
// The toolkit's one log routine: "[" + operation + "]" + message to the host.
#include <string>
#include <string_view>

namespace quillon {

void LogOperationError(std::wstring_view message, std::wstring_view operation);

// Exception messages are narrow (ASCII or UTF-8) texts.
std::wstring WidenMessage(std::string_view message);

}  // namespace quillon
