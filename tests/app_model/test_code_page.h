#pragma once
// The code page of the native tests: ASCII plus a few Chinese characters
// with their double-byte codes of code page 936.
#include "ansi_codepage.h"

namespace opclumbra::test {

class TestCodePage final : public AnsiCodePage {
 public:
  std::optional<std::string> Encode(std::u16string_view text) const override;
  std::optional<std::u16string> Decode(std::string_view bytes) const override;
};

}  // namespace opclumbra::test
