#pragma once
// Conversions between the program's own values and times and the toolkit's
// VARIANTs and FILETIMEs.
#include <windows.h>
#include <oleauto.h>

#include <string>

#include "tag_value.h"

namespace opclumbra {

// A VARIANT owned by the caller (VariantClear) from a tag value.
VARIANT ToVariant(const TagValue& value);
// The tag value of a VARIANT of one of the table's types; other types are
// converted to text. Throws std::runtime_error when that fails.
TagValue FromVariant(const VARIANT& value);
// The text Text as a VARIANT of type Vt (VT_EMPTY: an empty variant), by the
// variant library's rules for the user's locale. Throws std::runtime_error
// with the library's reason when the text does not convert.
VARIANT TextToVariant(const std::u16string& text, VARTYPE vt);
// A value as the program shows it; throws std::runtime_error when it has no text.
std::u16string VariantText(const VARIANT& value);

// Now, local time, as days since 1899-12-30.
double NowLocalDays();
// A local day count as a FILETIME in UTC.
FILETIME LocalDaysToUtc(double localDays);

}  // namespace opclumbra
