// What the marshalling probe server returns and the cross-process test expects.
// The texts carry Chinese characters so that a lossy string conversion on the
// way shows up.
#pragma once

#include <windows.h>

#include <array>

namespace probe {

// {F50A0C5F-8EA4-48BA-868D-F465A1D84FA4}
inline constexpr CLSID kClsid = {0xf50a0c5f, 0x8ea4, 0x48ba, {0x86, 0x8d, 0xf4, 0x65, 0xa1, 0xd8, 0x4f, 0xa4}};
inline constexpr wchar_t kClsidString[] = L"{F50A0C5F-8EA4-48BA-868D-F465A1D84FA4}";

inline constexpr wchar_t kCommonErrorText[] = L"测试错误：设备未连接 (Quillon probe)";

inline constexpr LCID kInitialLocale = 0x0804;
inline constexpr std::array<LCID, 3> kLocales = {0x0409, 0x0804, 0x0407};

// IOPCServer::GetErrorString answers "<client name>|0x<code>|<locale>".
inline constexpr wchar_t kServerErrorFormat[] = L"%ls|0x%08lX|%lu";

inline constexpr wchar_t kVendorInfo[] = L"Quillon 探针服务器";
inline constexpr WORD kMajorVersion = 3;
inline constexpr WORD kMinorVersion = 2;
inline constexpr WORD kBuildNumber = 1;
inline constexpr DWORD kGroupCount = 7;

// IOPCBrowseServerAddressSpace::GetItemID prefixes the item data ID.
inline constexpr wchar_t kItemIdPrefix[] = L"根.";

inline constexpr wchar_t kGroupName[] = L"组一";
inline constexpr DWORD kGroupUpdateRate = 250;
inline constexpr LONG kGroupTimeBias = -480;
inline constexpr FLOAT kGroupDeadband = 0.5f;
inline constexpr DWORD kGroupClientHandle = 11;
inline constexpr DWORD kGroupServerHandle = 22;

// IOPCItemProperties::QueryAvailableProperties: three properties; the third
// description is this prefix followed by the item ID.
inline constexpr std::array<DWORD, 3> kPropertyIds = {1, 2, 101};
inline constexpr wchar_t kDescriptionPrefix[] = L"说明：";

// IOPCItemProperties::LookupItemIDs answers "<item>#<property id>"; property 0
// gets no item ID and this error.
inline constexpr wchar_t kLookupSeparator[] = L"#";

// IOPCBrowse::Browse: a NULL continuation point comes back as
// kFirstPagePrefix + item ID, any other one as kNextPagePrefix + it + ")".
inline constexpr wchar_t kFirstPagePrefix[] = L"页1:";
inline constexpr wchar_t kNextPagePrefix[] = L"下一页(";

// IOPCBrowse::GetProperties describes each property as this prefix followed by
// the property ID.
inline constexpr wchar_t kPropertyDescriptionPrefix[] = L"属性";

}  // namespace probe
