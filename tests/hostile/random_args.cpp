#include "random_args.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "bstr.h"

namespace hostile {

std::string Hex(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", unsigned(v));
  return text;
}

DWORD Hostile::Count() {
  const uint32_t r = Below(100);
  if (r < 15) return 0;
  if (r < 50) return 1;
  if (r < 92) return 2 + Below(7);
  if (r < 99) return 20 + Below(200);
  return 1000 + Below(2000);
}

Text Hostile::ItemId(const std::vector<std::wstring>& known) {
  const uint32_t r = Below(100);
  if (r < 40 && !known.empty()) {
    const std::wstring& id = Pick(known);
    return {id, "known:" + std::string(id.begin(), id.end())};
  }
  switch (Below(12)) {
    case 0: return {L"", "empty"};
    case 1: return {std::wstring(10000, wchar_t(L'A' + Below(26))), "10000 chars"};
    case 2: {
      static const wchar_t* const kQualifiers[] = {L".", L"..", L"...", L"Tank1.", L".Level", L" ", L"\t"};
      const wchar_t* q = kQualifiers[Below(7)];
      return {q, "qualifier:" + std::to_string(q[0]) + "x" + std::to_string(wcslen(q))};
    }
    case 3: {
      static const wchar_t* const kWild[] = {L"*", L"?", L"Tank*", L"*.*", L"[!a-z]", L"#", L"[", L"**?*"};
      const uint32_t i = Below(8);
      return {kWild[i], "wildcard#" + std::to_string(i)};
    }
    case 4: {
      std::wstring s = known.empty() ? L"Tank1" : Pick(known);
      s.insert(s.begin() + Below(uint32_t(s.size()) + 1), L'\0');
      return {s, "embedded NUL"};
    }
    case 5: {
      std::wstring s = L"Tank";
      s.push_back(wchar_t(Chance(50) ? 0xD800 + Below(0x400) : 0xDC00 + Below(0x400)));
      s += L".Level";
      return {s, "unpaired surrogate"};
    }
    case 6: {
      std::wstring s;
      for (uint32_t n = 1 + Below(40); n; --n) s.push_back(wchar_t(1 + Below(0xFFFE)));
      return {s, "noise"};
    }
    case 7: {
      std::wstring s;
      for (uint32_t n = 50 + Below(200); n; --n) s += L"a.";
      return {s, "deep path"};
    }
    case 8: return {L"\x4E2D\x6587.\x6DB2\x4F4D", "Chinese"};
    case 9: return {L"Tank1..Level", "double dot"};
    case 10: return {L"Dyn.New" + std::to_wstring(Below(50)), "dynamic"};
    default: return {L"Tank1.Level ", "trailing blank"};
  }
}

DWORD Hostile::Handle(const std::vector<DWORD>& live, const std::vector<DWORD>& stale) {
  const uint32_t r = Below(100);
  if (r < 55 && !live.empty()) return Pick(live);
  if (r < 75 && !stale.empty()) return Pick(stale);
  static const DWORD kNoise[] = {0, 1, 0xFFFFFFFF, 0x7FFFFFFF, 0x80000000, 0xDEADBEEF};
  if (r < 90) return kNoise[Below(6)];
  return Bits();
}

namespace {

SAFEARRAY* Vector(VARTYPE type, ULONG n) { return SafeArrayCreateVector(type, 0, n); }

}  // namespace

void Hostile::Value(quillon::Variant& out, std::string& shown) {
  out.Clear();
  VARIANT& v = out.Get();
  const uint32_t kind = Below(28);
  shown = "vt kind " + std::to_string(kind);
  switch (kind) {
    case 0: V_VT(&v) = VT_EMPTY; break;
    case 1: V_VT(&v) = VT_NULL; break;
    case 2: V_VT(&v) = VT_ERROR; V_ERROR(&v) = LONG(Code()); break;
    case 3: V_VT(&v) = VT_I2; V_I2(&v) = SHORT(Bits()); break;
    case 4: V_VT(&v) = VT_I4; V_I4(&v) = LONG(Bits()); break;
    case 5: V_VT(&v) = VT_R4; V_R4(&v) = Float(); break;
    case 6: {
      static const double kDoubles[] = {std::numeric_limits<double>::quiet_NaN(),
                                        std::numeric_limits<double>::infinity(),
                                        -std::numeric_limits<double>::infinity(), -0.0, 4.9e-324, 1.7e308, 42.5};
      V_VT(&v) = VT_R8;
      V_R8(&v) = kDoubles[Below(7)];
      break;
    }
    case 7: V_VT(&v) = VT_CY; V_CY(&v).int64 = LONGLONG(Bits()) << Below(32); break;
    case 8: {
      static const double kDates[] = {std::numeric_limits<double>::quiet_NaN(), 1e300, -1e300, 0.0, 45000.5};
      V_VT(&v) = VT_DATE;
      V_DATE(&v) = kDates[Below(5)];
      break;
    }
    case 9: {
      V_VT(&v) = VT_BSTR;
      switch (Below(5)) {
        case 0: V_BSTR(&v) = nullptr; break;
        case 1: V_BSTR(&v) = SysAllocString(L""); break;
        case 2: V_BSTR(&v) = SysAllocStringLen(nullptr, 10000); wmemset(V_BSTR(&v), L'x', 10000); break;
        case 3: V_BSTR(&v) = SysAllocStringLen(L"1\0002", 3); break;
        default: V_BSTR(&v) = SysAllocString(L"\xD800\x31"); break;
      }
      break;
    }
    case 10: V_VT(&v) = VT_DISPATCH; V_DISPATCH(&v) = nullptr; break;
    case 11: V_VT(&v) = VT_BOOL; V_BOOL(&v) = VARIANT_BOOL(Chance(50) ? VARIANT_TRUE : SHORT(Bits())); break;
    case 12: V_VT(&v) = VT_UNKNOWN; V_UNKNOWN(&v) = nullptr; break;
    case 13: {
      DECIMAL& d = V_DECIMAL(&v);
      d.scale = BYTE(Below(40));  // beyond 28 is malformed
      d.sign = BYTE(Chance(50) ? DECIMAL_NEG : 0);
      d.Hi32 = Bits();
      d.Lo64 = (ULONGLONG(Bits()) << 32) | Bits();
      V_VT(&v) = VT_DECIMAL;  // after the DECIMAL, which shares its first word
      break;
    }
    case 14: V_VT(&v) = VT_I1; V_I1(&v) = CHAR(Bits()); break;
    case 15: V_VT(&v) = VT_UI1; V_UI1(&v) = BYTE(Bits()); break;
    case 16: V_VT(&v) = VT_UI2; V_UI2(&v) = USHORT(Bits()); break;
    case 17: V_VT(&v) = VT_UI4; V_UI4(&v) = Bits(); break;
    case 18: V_VT(&v) = VT_I8; V_I8(&v) = LONGLONG((ULONGLONG(Bits()) << 32) | Bits()); break;
    case 19: V_VT(&v) = VT_UI8; V_UI8(&v) = (ULONGLONG(Bits()) << 32) | Bits(); break;
    case 20: V_VT(&v) = VT_INT; V_INT(&v) = INT(Bits()); break;
    case 21: V_VT(&v) = VT_UINT; V_UINT(&v) = Bits(); break;
    case 22: {
      const ULONG n = Below(3) == 0 ? 0 : 1 + Below(100);
      SAFEARRAY* a = Vector(VT_R8, n);
      if (!a) break;
      double* data = nullptr;
      if (SUCCEEDED(SafeArrayAccessData(a, reinterpret_cast<void**>(&data)))) {
        for (ULONG i = 0; i < n; ++i) data[i] = i % 7 == 3 ? std::numeric_limits<double>::quiet_NaN() : double(i);
        SafeArrayUnaccessData(a);
      }
      V_VT(&v) = VT_ARRAY | VT_R8;
      V_ARRAY(&v) = a;
      shown = "R8 array of " + std::to_string(n);
      break;
    }
    case 23: {
      const ULONG n = Below(5);
      SAFEARRAY* a = Vector(VT_BSTR, n);
      if (!a) break;
      for (LONG i = 0; i < LONG(n); ++i) {
        const quillon::Bstr s = i == 1 ? quillon::Bstr() : quillon::Bstr(L"text");
        SafeArrayPutElement(a, &i, s.Get());
      }
      V_VT(&v) = VT_ARRAY | VT_BSTR;
      V_ARRAY(&v) = a;
      shown = "BSTR array of " + std::to_string(n);
      break;
    }
    case 24: {
      const ULONG n = 1 + Below(4);
      SAFEARRAY* a = Vector(VT_VARIANT, n);
      if (!a) break;
      for (LONG i = 0; i < LONG(n); ++i) {
        quillon::Variant e;
        if (i % 2) {
          V_VT(&e) = VT_ARRAY | VT_I4;
          V_ARRAY(&e) = Vector(VT_I4, 2);
          if (!V_ARRAY(&e)) V_VT(&e) = VT_EMPTY;
        } else {
          V_VT(&e) = VT_R4;
          V_R4(&e) = Float();
        }
        SafeArrayPutElement(a, &i, &e);
      }
      V_VT(&v) = VT_ARRAY | VT_VARIANT;
      V_ARRAY(&v) = a;
      shown = "VARIANT array of " + std::to_string(n);
      break;
    }
    case 25: {
      SAFEARRAYBOUND bounds[2] = {{2 + Below(3), LONG(Bits() % 5) - 2}, {1 + Below(3), 7}};
      SAFEARRAY* a = SafeArrayCreate(VT_I2, 2, bounds);
      if (!a) break;
      V_VT(&v) = VT_ARRAY | VT_I2;
      V_ARRAY(&v) = a;
      shown = "2-D I2 array";
      break;
    }
    case 26: {
      SAFEARRAY* a = Vector(VT_UI1, Below(2) ? 0 : 1 + Below(5000));
      if (!a) break;
      V_VT(&v) = VT_ARRAY | VT_UI1;
      V_ARRAY(&v) = a;
      shown = "UI1 array";
      break;
    }
    default: {
      static const VARTYPE kMixed[] = {VT_ARRAY | VT_BOOL, VT_ARRAY | VT_DATE, VT_ARRAY | VT_CY, VT_ARRAY | VT_ERROR,
                                       VT_ARRAY | VT_I8, VT_ARRAY | VT_DECIMAL};
      const VARTYPE element = VARTYPE(kMixed[Below(6)] & ~VT_ARRAY);
      SAFEARRAY* a = Vector(element, 3);
      if (!a) break;
      V_VT(&v) = VARTYPE(VT_ARRAY | element);
      V_ARRAY(&v) = a;
      shown = "array of vt " + std::to_string(element);
      break;
    }
  }
}

float Hostile::Float() {
  static const float kFloats[] = {std::numeric_limits<float>::quiet_NaN(),
                                  std::numeric_limits<float>::infinity(),
                                  -std::numeric_limits<float>::infinity(),
                                  -0.0f,
                                  1e-45f,
                                  3.4e38f,
                                  -5.0f,
                                  0.0f,
                                  50.0f,
                                  100.0f,
                                  100.5f};
  return kFloats[Below(11)];
}

DWORD Hostile::Rate() {
  static const DWORD kRates[] = {0, 1, 0xFFFFFFFF, 0x7FFFFFFF, 100, 1000, 10, 0x80000000};
  return Chance(85) ? kRates[Below(8)] : Bits();
}

LCID Hostile::Locale() {
  static const LCID kLocales[] = {0, LOCALE_SYSTEM_DEFAULT, LOCALE_USER_DEFAULT, 0x409, 0x804, 0x7F, 0xFFFFFFFF, 0x12345};
  return kLocales[Below(8)];
}

VARTYPE Hostile::Type() {
  static const VARTYPE kTypes[] = {VT_EMPTY, VT_NULL, VT_I2,  VT_I4,    VT_R4,    VT_R8,  VT_CY,  VT_DATE,
                                   VT_BSTR,  VT_BOOL, VT_I1,  VT_UI1,   VT_UI2,   VT_UI4, VT_I8,  VT_UI8,
                                   VT_ERROR, VT_VARIANT, VT_DECIMAL, VT_ARRAY | VT_R8, VT_BYREF | VT_I4, 0x7FFF,
                                   0xFFFF, VT_RECORD, VT_UNKNOWN, VT_DISPATCH};
  return kTypes[Below(26)];
}

HRESULT Hostile::Code() {
  static const HRESULT kCodes[] = {S_OK,           S_FALSE,        E_FAIL,          E_INVALIDARG,     HRESULT(0xC0040001),
                                   HRESULT(0xC0040203), HRESULT(0x0004000D), HRESULT(0xC0040002), HRESULT(0x80070005),
                                   HRESULT(0xFFFFFFFF), HRESULT(0x7FFFFFFF)};
  return Chance(80) ? kCodes[Below(11)] : HRESULT(Bits());
}

FILETIME Hostile::Time() {
  FILETIME t{};
  switch (Below(4)) {
    case 0: break;
    case 1: t = {0xFFFFFFFF, 0xFFFFFFFF}; break;
    case 2: GetSystemTimeAsFileTime(&t); break;
    default: t = {Bits(), Bits()}; break;
  }
  return t;
}

WORD Hostile::Quality() {
  static const WORD kQualities[] = {0xC0, 0x00, 0x40, 0x1C, 0xFFFF, 0x80, 0xD8};
  return kQualities[Below(7)];
}

IID Hostile::Iid(const std::vector<IID>& usual) {
  if (Chance(80) && !usual.empty()) return Pick(usual);
  if (Chance(50)) return IID_IUnknown;
  if (Chance(30)) return IID_NULL;
  IID random;
  random.Data1 = Bits();
  random.Data2 = USHORT(Bits());
  random.Data3 = USHORT(Bits());
  for (auto& b : random.Data4) b = BYTE(Bits());
  return random;
}

DWORD Hostile::Enum(DWORD last, bool& refused) {
  const uint32_t r = Below(100);
  if (r < 75) return 1 + Below(last);
  if (r < 85) return 0;
  if (r < 95) return last + 1 + Below(100);
  refused = true;
  return 0x8000 + Bits() % 0x7FFF8000;
}

}  // namespace hostile
