#pragma once
// Values, types, qualities and times as text, both ways.
#include <windows.h>
#include <oleauto.h>

#include <optional>
#include <string>

namespace opcclient {

// "VT_I4", "VT_ARRAY|VT_R8"; an unknown base type as "VT_0x0123".
std::string VtName(VARTYPE vt);
// "I4", "vt_i4", "VT_ARRAY|VT_R8" or a decimal VARTYPE.
std::optional<VARTYPE> ParseVt(const std::wstring& text);

// "192 GOOD", "84 UNCERTAIN_EGU_EXCEEDED+LOW".
std::string QualityText(WORD quality);

// UTC with milliseconds: 2026-12-08T18:10:46.123Z.
std::string IsoTime(const FILETIME& time);
// The same form (fraction optional, 'Z' required) or "now".
std::optional<FILETIME> ParseIsoTime(const std::wstring& text);

// A value in the invariant locale: numbers with '.', booleans as true/false,
// dates in ISO form, one-dimensional arrays as [a,b,c], text escaped like
// every field.
std::string ValueText(const VARIANT& value);

// Text converted to Type in the invariant locale (VariantChangeTypeEx);
// VT_BSTR keeps the text as it is.
HRESULT ValueFromText(const std::wstring& text, VARTYPE type, VARIANT* out);

// The line of one value: item ID, value, VARTYPE, quality, timestamp.
std::string ValueLine(const std::wstring& itemId, const VARIANT& value, WORD quality, const FILETIME& time);

}  // namespace opcclient
