#include "value_conversion.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace opclumbra {
namespace {

constexpr double kTicksPerDay = 864e9;
constexpr double kDaysFrom1601To1899 = 109205.0;

std::runtime_error ConversionError(HRESULT hr) {
  char message[64];
  std::snprintf(message, sizeof message, "Could not convert variant (0x%08lX)", static_cast<unsigned long>(hr));
  return std::runtime_error(message);
}

std::u16string FromBstr(BSTR s) { return s ? std::u16string(reinterpret_cast<const char16_t*>(s), SysStringLen(s)) : u""; }

}  // namespace

VARIANT ToVariant(const TagValue& value) {
  VARIANT v;
  VariantInit(&v);
  if (auto* i = std::get_if<std::int32_t>(&value)) {
    V_VT(&v) = VT_I4;
    V_I4(&v) = *i;
  } else if (auto* d = std::get_if<double>(&value)) {
    V_VT(&v) = VT_R8;
    V_R8(&v) = *d;
  } else if (auto* b = std::get_if<bool>(&value)) {
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = *b ? VARIANT_TRUE : VARIANT_FALSE;
  } else if (auto* s = std::get_if<std::u16string>(&value)) {
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s->data()), UINT(s->size()));
    if (!V_BSTR(&v)) throw std::bad_alloc();
  }
  return v;
}

TagValue FromVariant(const VARIANT& value) {
  switch (V_VT(&value)) {
    case VT_EMPTY: return std::monostate{};
    case VT_I4: return std::int32_t(V_I4(&value));
    case VT_R8: return V_R8(&value);
    case VT_BOOL: return V_BOOL(&value) != VARIANT_FALSE;
    case VT_BSTR: return FromBstr(V_BSTR(&value));
    default: return VariantText(value);
  }
}

VARIANT TextToVariant(const std::u16string& text, VARTYPE vt) {
  VARIANT result;
  VariantInit(&result);
  if (vt == VT_EMPTY) return result;
  VARIANT source;
  VariantInit(&source);
  V_VT(&source) = VT_BSTR;
  V_BSTR(&source) = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), UINT(text.size()));
  HRESULT hr = VariantChangeTypeEx(&result, &source, LOCALE_USER_DEFAULT, 0, vt);
  VariantClear(&source);
  if (FAILED(hr)) throw ConversionError(hr);
  return result;
}

std::u16string VariantText(const VARIANT& value) {
  VARIANT text;
  VariantInit(&text);
  HRESULT hr = VariantChangeTypeEx(&text, const_cast<VARIANT*>(&value), LOCALE_USER_DEFAULT, VARIANT_ALPHABOOL,
                                   VT_BSTR);
  if (FAILED(hr)) throw ConversionError(hr);
  std::u16string s = FromBstr(V_BSTR(&text));
  VariantClear(&text);
  return s;
}

double NowLocalDays() {
  FILETIME utc, local;
  GetSystemTimeAsFileTime(&utc);
  FileTimeToLocalFileTime(&utc, &local);
  uint64_t ticks = (uint64_t(local.dwHighDateTime) << 32) | local.dwLowDateTime;
  return double(ticks) / kTicksPerDay - kDaysFrom1601To1899;
}

FILETIME LocalDaysToUtc(double localDays) {
  double ticks = std::round((localDays + kDaysFrom1601To1899) * kTicksPerDay);
  uint64_t t = ticks > 0 ? uint64_t(ticks) : 0;
  FILETIME local{DWORD(t), DWORD(t >> 32)};
  SYSTEMTIME localTime, utcTime;
  FILETIME utc{};
  if (FileTimeToSystemTime(&local, &localTime) && TzSpecificLocalTimeToSystemTime(nullptr, &localTime, &utcTime))
    SystemTimeToFileTime(&utcTime, &utc);
  return utc;
}

}  // namespace opclumbra
