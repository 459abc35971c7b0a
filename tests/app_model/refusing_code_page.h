#pragma once
// A code page that represents nothing, for the writer's refusals.
#include "ansi_codepage.h"

namespace opclumbra::test {

class RefusingCodePage final : public AnsiCodePage {
 public:
  std::optional<std::string> Encode(std::u16string_view) const override { return std::nullopt; }
  std::optional<std::u16string> Decode(std::string_view) const override { return std::nullopt; }
};

}  // namespace opclumbra::test
