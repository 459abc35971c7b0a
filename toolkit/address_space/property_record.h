#pragma once
// One custom property of a tag, and the names of the six standard ones.
#include <windows.h>

#include <array>
#include <string>

#include "../api/variant.h"

namespace quillon {

struct PropertyRecord {
  DWORD PropID = 0;         // above 6, unique within its tag
  std::wstring ItemName;    // last element of the property's item ID
  std::wstring Description;
  VARTYPE DataType = VT_EMPTY;
  Variant Value;
};

// Standard properties 1..6, at indexes 0..5; each name is also its description.
inline constexpr std::array<const wchar_t*, 6> kStandardPropertyNames = {
    L"DATATYPE", L"CV", L"QUALITY", L"TIME", L"ACCESSRIGHT", L"SCANRATE"};

}  // namespace quillon
