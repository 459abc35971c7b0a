#pragma once
// Where the toolkit's log lines go: one routine, "[" + operation + "]" +
// message. Every object that logs is handed a sink; none reaches a global.
#include <string>
#include <string_view>

namespace quillon {

class LogSink {
 public:
  virtual void LogOperationError(std::wstring_view message, std::wstring_view operation) const noexcept = 0;

 protected:
  ~LogSink() = default;
};

// Exception messages are narrow (ASCII or UTF-8) texts.
std::wstring WidenMessage(std::string_view message);

}  // namespace quillon
