#pragma once
// Texts between the model (UTF-16 as char16_t) and the wide-character
// Windows APIs (UTF-16 as wchar_t), and the comparisons the commands use.
#include <string>
#include <string_view>

namespace opclumbra {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 code units");

inline std::wstring W(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }
inline std::u16string U(std::wstring_view s) { return std::u16string(s.begin(), s.end()); }

// Without the blanks and control characters around it, as names and
// passwords are taken.
std::wstring Trim(std::wstring_view s);

// Equal when ASCII letters are compared without case; other characters must match exactly.
bool SameTextAscii(std::wstring_view a, std::wstring_view b);

}  // namespace opclumbra
