#include "test_code_page.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace opclumbra::test {
namespace {

struct DoubleByte {
  char16_t character;
  std::uint8_t lead;
  std::uint8_t trail;
};

constexpr std::array<DoubleByte, 8> kTable{{
    {u'整', 0xD5, 0xFB},
    {u'数', 0xCA, 0xFD},
    {u'中', 0xD6, 0xD0},
    {u'文', 0xCE, 0xC4},
    {u'温', 0xCE, 0xC2},
    {u'度', 0xB6, 0xC8},
    {u'浮', 0xB8, 0xA1},
    {u'点', 0xB5, 0xE3},
}};

}  // namespace

std::optional<std::string> TestCodePage::Encode(std::u16string_view text) const {
  std::string bytes;
  for (char16_t c : text) {
    if (c < 0x80) {
      bytes.push_back(static_cast<char>(c));
      continue;
    }
    auto it = std::find_if(kTable.begin(), kTable.end(), [c](const DoubleByte& d) { return d.character == c; });
    if (it == kTable.end()) return std::nullopt;
    bytes.push_back(static_cast<char>(it->lead));
    bytes.push_back(static_cast<char>(it->trail));
  }
  return bytes;
}

std::optional<std::u16string> TestCodePage::Decode(std::string_view bytes) const {
  std::u16string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    auto lead = static_cast<std::uint8_t>(bytes[i]);
    if (lead < 0x80) {
      text.push_back(lead);
      continue;
    }
    if (i + 1 == bytes.size()) return std::nullopt;
    auto trail = static_cast<std::uint8_t>(bytes[++i]);
    auto it = std::find_if(kTable.begin(), kTable.end(),
                           [lead, trail](const DoubleByte& d) { return d.lead == lead && d.trail == trail; });
    if (it == kTable.end()) return std::nullopt;
    text.push_back(it->character);
  }
  return text;
}

}  // namespace opclumbra::test
