#pragma once
// The seeded maker of hostile arguments. Everything a run does follows from
// the seed and from what the server answered, so that a seed and a call
// count replay a run.
#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "variant.h"

namespace hostile {

// Counts that the proxy cannot size an array for: they go only with a NULL
// array, which the marshaller refuses before anything is sent.
constexpr DWORD kHugeCounts[] = {0x7FFFFFFF, 0xFFFFFFFF, 0x10000000};

// A text argument and how it reads in a failure line.
struct Text {
  std::wstring value;
  std::string shown;
};

class Hostile {
 public:
  explicit Hostile(uint32_t seed) : rng_(seed) {}

  uint32_t Below(uint32_t n) { return n ? uint32_t(rng_() % n) : 0; }
  bool Chance(uint32_t percent) { return Below(100) < percent; }
  uint32_t Bits() { return uint32_t(rng_()); }
  template <class T>
  const T& Pick(const std::vector<T>& from) {
    return from[Below(uint32_t(from.size()))];
  }

  // 0, 1, a few, or many; arrays are then sized to it.
  DWORD Count();
  DWORD HugeCount() { return kHugeCounts[Below(3)]; }

  // An item ID: a known one, or empty, 10,000 characters, qualifier-only,
  // wildcards, embedded NULs, unpaired surrogates, noise.
  Text ItemId(const std::vector<std::wstring>& known);
  // A name for groups and filters, as hostile as item IDs.
  Text Name(const std::vector<std::wstring>& known) { return ItemId(known); }
  // A handle: one in use, one given back, or noise.
  DWORD Handle(const std::vector<DWORD>& live, const std::vector<DWORD>& stale);

  // Any VARIANT the marshaller carries: every scalar type, SAFEARRAYs,
  // references, VT_EMPTY/VT_NULL/VT_ERROR, NaN and infinities.
  void Value(quillon::Variant& out, std::string& shown);
  float Float();
  DWORD Rate();
  LCID Locale();
  VARTYPE Type();
  HRESULT Code();
  FILETIME Time();
  WORD Quality();
  IID Iid(const std::vector<IID>& usual);
  // A value for a parameter marshalled as a 16-bit enum; out of range
  // values make the proxy refuse the call.
  DWORD Enum(DWORD last, bool& refused);

 private:
  std::mt19937 rng_;
};

std::string Hex(uint32_t v);

}  // namespace hostile
