#include "values.h"

#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <iterator>

#include "variant.h"
#include "output.h"

namespace opcclient {
namespace {

struct TypeName {
  VARTYPE vt;
  const char* name;
};

const TypeName kTypes[] = {
    {VT_EMPTY, "EMPTY"}, {VT_NULL, "NULL"},         {VT_I2, "I2"},     {VT_I4, "I4"},
    {VT_R4, "R4"},       {VT_R8, "R8"},             {VT_CY, "CY"},     {VT_DATE, "DATE"},
    {VT_BSTR, "BSTR"},   {VT_DISPATCH, "DISPATCH"}, {VT_ERROR, "ERROR"}, {VT_BOOL, "BOOL"},
    {VT_VARIANT, "VARIANT"}, {VT_UNKNOWN, "UNKNOWN"}, {VT_DECIMAL, "DECIMAL"}, {VT_I1, "I1"},
    {VT_UI1, "UI1"},     {VT_UI2, "UI2"},           {VT_UI4, "UI4"},   {VT_I8, "I8"},
    {VT_UI8, "UI8"},     {VT_INT, "INT"},           {VT_UINT, "UINT"},
};

std::string Hex(unsigned long value, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*lX", width, value);
  return text;
}

std::optional<VARTYPE> BaseType(std::wstring name) {
  for (auto& c : name) c = wchar_t(std::towupper(c));
  if (name.rfind(L"VT_", 0) == 0) name.erase(0, 3);
  for (const auto& t : kTypes)
    if (name == Wide(t.name)) return t.vt;
  return std::nullopt;
}

std::string DateText(double date) {
  SYSTEMTIME st;
  if (!VariantTimeToSystemTime(date, &st)) return "?";
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour,
                st.wMinute, st.wSecond);
  return text;
}

std::string ScalarText(const VARIANT& v) {
  switch (V_VT(&v)) {
    case VT_EMPTY: return "";
    case VT_NULL: return "null";
    case VT_BOOL: return V_BOOL(&v) ? "true" : "false";
    case VT_BSTR: return Field(std::wstring_view(V_BSTR(&v) ? V_BSTR(&v) : L"", SysStringLen(V_BSTR(&v))));
    case VT_DATE: return DateText(V_DATE(&v));
    case VT_ERROR: return Hex(static_cast<unsigned long>(V_ERROR(&v)), 8);
    default: break;
  }
  quillon::Variant text;
  if (FAILED(VariantChangeTypeEx(&text, const_cast<VARIANT*>(&v), LOCALE_INVARIANT, 0, VT_BSTR)))
    return "<" + VtName(V_VT(&v)) + ">";
  return Field(V_BSTR(&text) ? V_BSTR(&text) : L"");
}

std::string ArrayText(const VARIANT& v) {
  SAFEARRAY* array = (V_VT(&v) & VT_BYREF) ? (V_ARRAYREF(&v) ? *V_ARRAYREF(&v) : nullptr) : V_ARRAY(&v);
  if (!array) return "[]";
  if (SafeArrayGetDim(array) != 1) return "<" + std::to_string(SafeArrayGetDim(array)) + "-dimensional array>";
  LONG lower = 0, upper = -1;
  SafeArrayGetLBound(array, 1, &lower);
  SafeArrayGetUBound(array, 1, &upper);
  const VARTYPE base = VARTYPE(V_VT(&v) & VT_TYPEMASK);
  // Only element types that fit a VARIANT's value are copied out.
  switch (base) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_INT: case VT_UINT:
    case VT_I8: case VT_UI8: case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_BSTR: case VT_BOOL:
    case VT_ERROR: case VT_VARIANT: case VT_DECIMAL:
      break;
    default:
      return "<" + VtName(V_VT(&v)) + ">";
  }
  std::string text = "[";
  for (LONG i = lower; i <= upper; ++i) {
    quillon::Variant element;
    HRESULT hr;
    if (base == VT_VARIANT) {
      hr = SafeArrayGetElement(array, &i, &element);
    } else {
      // The element lands in the union; its type makes it a VARIANT to free.
      VARIANT raw;
      VariantInit(&raw);
      void* slot = base == VT_DECIMAL ? static_cast<void*>(&V_DECIMAL(&raw)) : static_cast<void*>(&V_I4(&raw));
      hr = SafeArrayGetElement(array, &i, slot);
      if (SUCCEEDED(hr)) {
        V_VT(&raw) = base;
        element.Adopt(raw);
      }
    }
    if (i != lower) text += ',';
    text += SUCCEEDED(hr) ? ScalarText(element.Get()) : "?";
  }
  return text + "]";
}

}  // namespace

std::string VtName(VARTYPE vt) {
  std::string name;
  if (vt & VT_ARRAY) name += "VT_ARRAY|";
  if (vt & VT_BYREF) name += "VT_BYREF|";
  const VARTYPE base = VARTYPE(vt & VT_TYPEMASK);
  for (const auto& t : kTypes)
    if (t.vt == base) return name + "VT_" + t.name;
  return name + "VT_" + Hex(base, 4);
}

std::optional<VARTYPE> ParseVt(const std::wstring& text) {
  if (text.empty()) return std::nullopt;
  if (std::iswdigit(text[0])) {
    wchar_t* end = nullptr;
    unsigned long n = std::wcstoul(text.c_str(), &end, 10);
    if (*end || n > 0xFFFF) return std::nullopt;
    return VARTYPE(n);
  }
  std::wstring upper = text;
  for (auto& c : upper) c = wchar_t(std::towupper(c));
  VARTYPE flags = 0;
  for (const wchar_t* prefix : {L"VT_ARRAY|", L"ARRAY|"}) {
    if (upper.rfind(prefix, 0) == 0) {
      flags = VT_ARRAY;
      upper.erase(0, std::wcslen(prefix));
      break;
    }
  }
  auto base = BaseType(upper);
  if (!base) return std::nullopt;
  return VARTYPE(*base | flags);
}

std::string QualityText(WORD quality) {
  struct Status {
    WORD bits;
    const char* name;
  };
  static const Status kStatus[] = {
      {0x00, "BAD"},
      {0x04, "BAD_CONFIG_ERROR"},
      {0x08, "BAD_NOT_CONNECTED"},
      {0x0C, "BAD_DEVICE_FAILURE"},
      {0x10, "BAD_SENSOR_FAILURE"},
      {0x14, "BAD_LAST_KNOWN"},
      {0x18, "BAD_COMM_FAILURE"},
      {0x1C, "BAD_OUT_OF_SERVICE"},
      {0x20, "BAD_WAITING_FOR_INITIAL_DATA"},
      {0x40, "UNCERTAIN"},
      {0x44, "UNCERTAIN_LAST_USABLE"},
      {0x50, "UNCERTAIN_SENSOR_CAL"},
      {0x54, "UNCERTAIN_EGU_EXCEEDED"},
      {0x58, "UNCERTAIN_SUB_NORMAL"},
      {0xC0, "GOOD"},
      {0xD8, "GOOD_LOCAL_OVERRIDE"},
  };
  static const char* const kQuality[] = {"BAD", "UNCERTAIN", "NA", "GOOD"};
  static const char* const kLimit[] = {"", "+LOW", "+HIGH", "+CONST"};
  const WORD status = quality & 0xFC;
  std::string name;
  for (const auto& s : kStatus)
    if (s.bits == status) name = s.name;
  if (name.empty())
    name = std::string(kQuality[(status >> 6) & 3]) + "_SUBSTATUS_" + std::to_string((status >> 2) & 0xF);
  return std::to_string(quality) + " " + name + kLimit[quality & 3];
}

std::string IsoTime(const FILETIME& time) {
  SYSTEMTIME st;
  if (!FileTimeToSystemTime(&time, &st)) return "?";
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", st.wYear, st.wMonth, st.wDay, st.wHour,
                st.wMinute, st.wSecond, st.wMilliseconds);
  return text;
}

std::optional<FILETIME> ParseIsoTime(const std::wstring& text) {
  FILETIME ft{};
  if (text == L"now") {
    GetSystemTimeAsFileTime(&ft);
    return ft;
  }
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  int used = 0;
  if (std::swscanf(text.c_str(), L"%4u-%2u-%2uT%2u:%2u:%2u%n", &year, &month, &day, &hour, &minute, &second,
                   &used) != 6)
    return std::nullopt;
  std::wstring rest = text.substr(size_t(used));
  unsigned ms = 0;
  if (!rest.empty() && rest[0] == L'.') {
    size_t i = 1;
    unsigned scale = 100;
    for (; i < rest.size() && std::iswdigit(rest[i]); ++i) {
      ms += unsigned(rest[i] - L'0') * scale;
      scale /= 10;
    }
    if (i == 1) return std::nullopt;
    rest.erase(0, i);
  }
  if (rest != L"Z") return std::nullopt;
  SYSTEMTIME st{WORD(year), WORD(month), 0, WORD(day), WORD(hour), WORD(minute), WORD(second), WORD(ms)};
  if (!SystemTimeToFileTime(&st, &ft)) return std::nullopt;
  return ft;
}

std::string ValueText(const VARIANT& value) {
  return (V_VT(&value) & VT_ARRAY) ? ArrayText(value) : ScalarText(value);
}

HRESULT ValueFromText(const std::wstring& text, VARTYPE type, VARIANT* out) {
  VariantInit(out);
  if (type == VT_BOOL) {
    std::wstring lower = text;
    for (auto& c : lower) c = wchar_t(std::towlower(c));
    if (lower == L"true" || lower == L"false") {
      V_VT(out) = VT_BOOL;
      V_BOOL(out) = lower == L"true" ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    }
  }
  quillon::Variant source;
  V_VT(&source) = VT_BSTR;
  V_BSTR(&source) = SysAllocStringLen(text.data(), UINT(text.size()));
  if (!V_BSTR(&source)) return E_OUTOFMEMORY;
  if (type == VT_BSTR) {
    *out = source.Detach();
    return S_OK;
  }
  return VariantChangeTypeEx(out, &source, LOCALE_INVARIANT, 0, type);
}

std::string ValueLine(const std::wstring& itemId, const VARIANT& value, WORD quality, const FILETIME& time) {
  return Field(itemId) + '\t' + ValueText(value) + '\t' + VtName(V_VT(&value)) + '\t' + QualityText(quality) + '\t' +
         IsoTime(time);
}

}  // namespace opcclient
