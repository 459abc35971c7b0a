#include "display_text.h"

#include <oleauto.h>

#include <cmath>
#include <stdexcept>

#include "ui_text.h"
#include "value_conversion.h"

namespace opclumbra {
namespace {

std::wstring SystemTimeText(const SYSTEMTIME& time, bool withTime) {
  wchar_t date[128] = L"", clock[128] = L"";
  GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, 128);
  if (!withTime) return date;
  GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &time, nullptr, clock, 128);
  return std::wstring(date) + L" " + clock;
}

}  // namespace

std::optional<std::wstring> ValueText(const TagValue& value) {
  VARIANT v = ToVariant(value);
  std::optional<std::wstring> text;
  try {
    text = W(VariantText(v));
  } catch (const std::exception&) {
  }
  VariantClear(&v);
  return text;
}

std::wstring LocalDaysText(double days) {
  SYSTEMTIME time{};
  if (!VariantTimeToSystemTime(days, &time)) return {};
  return SystemTimeText(time, days != std::floor(days));
}

std::wstring NowText() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return SystemTimeText(now, true);
}

}  // namespace opclumbra
