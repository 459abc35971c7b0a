#include "ui_text.h"

namespace opclumbra {

std::wstring Trim(std::wstring_view s) {
  size_t begin = 0, end = s.size();
  while (begin < end && s[begin] <= L' ') ++begin;
  while (end > begin && s[end - 1] <= L' ') --end;
  return std::wstring(s.substr(begin, end - begin));
}

bool SameTextAscii(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  auto fold = [](wchar_t c) { return c >= L'a' && c <= L'z' ? wchar_t(c - L'a' + L'A') : c; };
  for (size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

}  // namespace opclumbra
