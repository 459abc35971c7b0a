#pragma once
// Conversions between UTF-16 and UTF-8. The strict forms refuse ill-formed
// input (lone surrogates; overlong, surrogate or out-of-range UTF-8).
#include <optional>
#include <string>
#include <string_view>

namespace opclumbra {

std::optional<std::string> Utf16ToUtf8(std::u16string_view text);

// For messages only: a lone surrogate becomes U+FFFD instead of failing.
std::string Utf16ToUtf8Lossy(std::u16string_view text);

std::optional<std::u16string> Utf8ToUtf16(std::string_view bytes);

}  // namespace opclumbra
