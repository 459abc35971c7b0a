#include "ansi_codepage_win.h"

#include <windows.h>

#include <climits>

namespace opclumbra {

std::optional<std::string> WindowsAnsiCodePage::Encode(std::u16string_view text) const {
  if (text.empty()) return std::string();
  if (text.size() > INT_MAX) return std::nullopt;
  auto wide = reinterpret_cast<const wchar_t*>(text.data());
  int wideLength = static_cast<int>(text.size());
  // No best-fit mapping and a check of the default character: a character
  // without an exact counterpart must fail instead of turning into '?'.
  BOOL usedDefault = FALSE;
  int size = WideCharToMultiByte(codePage_, WC_NO_BEST_FIT_CHARS, wide, wideLength, nullptr, 0, nullptr, &usedDefault);
  if (size <= 0 || usedDefault) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  if (WideCharToMultiByte(codePage_, WC_NO_BEST_FIT_CHARS, wide, wideLength, bytes.data(), size, nullptr,
                          &usedDefault) != size ||
      usedDefault)
    return std::nullopt;
  return bytes;
}

std::optional<std::u16string> WindowsAnsiCodePage::Decode(std::string_view bytes) const {
  if (bytes.empty()) return std::u16string();
  if (bytes.size() > INT_MAX) return std::nullopt;
  int length = static_cast<int>(bytes.size());
  int size = MultiByteToWideChar(codePage_, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
  if (size <= 0) return std::nullopt;
  std::u16string text(static_cast<std::size_t>(size), u'\0');
  if (MultiByteToWideChar(codePage_, MB_ERR_INVALID_CHARS, bytes.data(), length,
                          reinterpret_cast<wchar_t*>(text.data()), size) != size)
    return std::nullopt;
  return text;
}

}  // namespace opclumbra
