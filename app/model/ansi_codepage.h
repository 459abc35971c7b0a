#pragma once
// Conversion between UTF-16 and the bytes of the program's ANSI code page,
// supplied by the caller so that the model stays free of any platform API.
#include <optional>
#include <string>
#include <string_view>

namespace opclumbra {

class AnsiCodePage {
 public:
  virtual ~AnsiCodePage() = default;

  // The ANSI bytes of Text; nullopt when a character has no exact
  // representation in the code page (no substitute or best-fit character).
  virtual std::optional<std::string> Encode(std::u16string_view text) const = 0;

  // The text of Bytes; nullopt when they are not a valid sequence of the code page.
  virtual std::optional<std::u16string> Decode(std::string_view bytes) const = 0;
};

}  // namespace opclumbra
