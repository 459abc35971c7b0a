#pragma once
// One custom property of a tag, and the names of the six standard ones.
#include <windows.h>

#include <array>
#include <string>

#include "variant.h"

namespace quillon {

struct PropertyRecord {
  DWORD PropID = 0;         // above 6, unique within its tag
  std::wstring ItemName;    // last element of the property's item ID
  std::wstring Description;
  VARTYPE DataType = VT_EMPTY;
  Variant Value;
};

// Standard properties 1..6, at indexes 0..5: the names are the last element
// of their item IDs, the descriptions those that clients are written against.
inline constexpr std::array<const wchar_t*, 6> kStandardPropertyNames = {
    L"DATATYPE", L"CV", L"QUALITY", L"TIME", L"ACCESSRIGHT", L"SCANRATE"};
inline constexpr std::array<const wchar_t*, 6> kStandardPropertyDescriptions = {
    L"Item Canonical DataType", L"Item Value", L"Item Quality", L"Item Timestamp", L"Item Access Rights",
    L"Server Scan Rate"};

}  // namespace quillon
