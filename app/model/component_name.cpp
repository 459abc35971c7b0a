#include "component_name.h"

#include <algorithm>

namespace opclumbra {
namespace {

bool IsAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
bool IsAsciiDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

char16_t FoldAscii(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

}  // namespace

bool IsValidComponentName(std::u16string_view name) noexcept {
  if (name.empty() || IsAsciiDigit(name.front())) return false;
  return std::all_of(name.begin(), name.end(),
                     [](char16_t c) { return IsAsciiLetter(c) || IsAsciiDigit(c) || c == u'_'; });
}

bool SameName(std::u16string_view a, std::u16string_view b) noexcept {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char16_t x, char16_t y) { return FoldAscii(x) == FoldAscii(y); });
}

std::u16string FoldName(std::u16string_view name) {
  std::u16string folded(name);
  std::transform(folded.begin(), folded.end(), folded.begin(), FoldAscii);
  return folded;
}

}  // namespace opclumbra
