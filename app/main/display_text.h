#pragma once
// How the main window shows values, qualities and times: by the user's locale,
// as the variant library and the system's date formats give them.
#include <windows.h>

#include <optional>
#include <string>

#include "tag_value.h"

namespace opclumbra {

// The value as text; none when it has no text form.
std::optional<std::wstring> ValueText(const TagValue& value);

// A local day count (days since 1899-12-30) as the locale's short date, with
// the time when there is one.
std::wstring LocalDaysText(double days);

// The present local date and time, for the clock panel.
std::wstring NowText();

}  // namespace opclumbra
