#pragma once
// Base of the model's exceptions. The message is kept in UTF-16 for the
// program's message boxes; what() renders it in UTF-8 for logs and tests.
#include <exception>
#include <string>

namespace opclumbra {

class EModelError : public std::exception {
 public:
  explicit EModelError(std::u16string message);

  const std::u16string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return utf8_.c_str(); }

 private:
  std::u16string message_;
  std::string utf8_;
};

}  // namespace opclumbra
