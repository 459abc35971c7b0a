#pragma once
// The ANSI code page conversion of the Windows program, on the system's
// conversion functions. Built for Windows targets only.
#include "ansi_codepage.h"

namespace opclumbra {

class WindowsAnsiCodePage final : public AnsiCodePage {
 public:
  static constexpr unsigned ChineseSimplifiedGbk = 936;

  explicit WindowsAnsiCodePage(unsigned codePage = ChineseSimplifiedGbk) noexcept : codePage_(codePage) {}

  std::optional<std::string> Encode(std::u16string_view text) const override;
  std::optional<std::u16string> Decode(std::string_view bytes) const override;

 private:
  unsigned codePage_;
};

}  // namespace opclumbra
