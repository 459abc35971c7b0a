// Checks the generated OPC headers against the published contracts: every
// IID, every method's vtable slot, structure layouts and a sample of the
// constants. The C form of the interfaces (CINTERFACE) exposes the vtables as
// structures, so slots are plain offsetof values.
//
// Whatever can be decided at compile time is also a static_assert: the i686
// build is compiled on machines that cannot run it, and still has to prove its
// 32-bit layout.

#define CINTERFACE
#include <windows.h>
#include <objbase.h>

#include "opc_common.h"
#include "opc_da.h"
#include "opc_error.h"
#include "opc_server_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace {

constexpr bool is32 = sizeof(void*) == 4;

struct GuidCase {
    const char* name;
    const GUID* guid;
    const wchar_t* expected;
};

constexpr GuidCase kGuids[] = {
    {"IOPCCommon", &IID_IOPCCommon, L"{F31DFDE2-07B6-11D2-B2D8-0060083BA1FB}"},
    {"IOPCShutdown", &IID_IOPCShutdown, L"{F31DFDE1-07B6-11D2-B2D8-0060083BA1FB}"},
    {"IOPCServerList", &IID_IOPCServerList, L"{13486D50-4821-11D2-A494-3CB306C10000}"},
    {"IOPCEnumGUID", &IID_IOPCEnumGUID, L"{55C382C8-21C7-4E88-96C1-BECFB1E3F483}"},
    {"IOPCServerList2", &IID_IOPCServerList2, L"{9DD0B56C-AD9E-43EE-8305-487F3188BF7A}"},
    {"IOPCServer", &IID_IOPCServer, L"{39C13A4D-011E-11D0-9675-0020AFD8ADB3}"},
    {"IOPCServerPublicGroups", &IID_IOPCServerPublicGroups, L"{39C13A4E-011E-11D0-9675-0020AFD8ADB3}"},
    {"IOPCBrowseServerAddressSpace", &IID_IOPCBrowseServerAddressSpace,
     L"{39C13A4F-011E-11D0-9675-0020AFD8ADB3}"},
    {"IOPCGroupStateMgt", &IID_IOPCGroupStateMgt, L"{39C13A50-011E-11D0-9675-0020AFD8ADB3}"},
    {"IOPCGroupStateMgt2", &IID_IOPCGroupStateMgt2, L"{8E368666-D72E-4F78-87ED-647611C61C9F}"},
    {"IOPCPublicGroupStateMgt", &IID_IOPCPublicGroupStateMgt, L"{39C13A51-011E-11D0-9675-0020AFD8ADB3}"},
    {"IOPCSyncIO", &IID_IOPCSyncIO, L"{39C13A52-011E-11D0-9675-0020AFD8ADB3}"},
    {"IOPCSyncIO2", &IID_IOPCSyncIO2, L"{730F5F0F-55B1-4C81-9E18-FF8A0904E1FA}"},
    {"IOPCAsyncIO", &IID_IOPCAsyncIO, L"{39C13A53-011E-11D0-9675-0020AFD8ADB3}"},
    {"IOPCAsyncIO2", &IID_IOPCAsyncIO2, L"{39C13A71-011E-11D0-9675-0020AFD8ADB3}"},
    {"IOPCAsyncIO3", &IID_IOPCAsyncIO3, L"{0967B97B-36EF-423E-B6F8-6BFF1E40D39D}"},
    {"IOPCItemMgt", &IID_IOPCItemMgt, L"{39C13A54-011E-11D0-9675-0020AFD8ADB3}"},
    {"IEnumOPCItemAttributes", &IID_IEnumOPCItemAttributes, L"{39C13A55-011E-11D0-9675-0020AFD8ADB3}"},
    {"IOPCDataCallback", &IID_IOPCDataCallback, L"{39C13A70-011E-11D0-9675-0020AFD8ADB3}"},
    {"IOPCItemProperties", &IID_IOPCItemProperties, L"{39C13A72-011E-11D0-9675-0020AFD8ADB3}"},
    {"IOPCItemDeadbandMgt", &IID_IOPCItemDeadbandMgt, L"{5946DA93-8B39-4EC8-AB3D-AA73DF5BC86F}"},
    {"IOPCItemSamplingMgt", &IID_IOPCItemSamplingMgt, L"{3E22D313-F08B-41A5-86C8-95E95CB49FFC}"},
    {"IOPCBrowse", &IID_IOPCBrowse, L"{39227004-A18F-4B57-8B0A-5235670F4468}"},
    {"IOPCItemIO", &IID_IOPCItemIO, L"{85C0B427-2893-4CBC-BD78-E5FC5146F08F}"},
    {"CLSID_OpcServerList", &CLSID_OpcServerList, L"{13486D51-4821-11D2-A494-3CB306C10000}"},
    {"CATID_OPCDAServer10", &CATID_OPCDAServer10, L"{63D5F430-CFE4-11D1-B2C8-0060083BA1FB}"},
    {"CATID_OPCDAServer20", &CATID_OPCDAServer20, L"{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}"},
    {"CATID_OPCDAServer30", &CATID_OPCDAServer30, L"{CC603642-66D7-48F1-B69A-B625E73652D7}"},
    {"CATID_XMLDAServer10", &CATID_XMLDAServer10, L"{3098EDA4-A006-48B2-A27F-247453959408}"},
};

TEST(InterfaceLayout, GuidsMatchThePublishedValues) {
    for (const auto& c : kGuids) {
        GUID expected{};
        ASSERT_EQ(CLSIDFromString(c.expected, &expected), NOERROR) << c.name;
        EXPECT_TRUE(IsEqualGUID(*c.guid, expected)) << c.name;
    }
}

struct Slot {
    std::string_view method;
    std::size_t actual;
    std::size_t expected;
};

#define OPC_SLOT(iface, method, slot) \
    Slot { #iface "::" #method, offsetof(iface##Vtbl, method) / sizeof(void*), slot }
// The slot after the last method, i.e. the number of vtable entries.
#define OPC_VTABLE_SIZE(iface, count) \
    Slot { #iface " vtable size", sizeof(iface##Vtbl) / sizeof(void*), count }

constexpr Slot kSlots[] = {
    OPC_VTABLE_SIZE(IOPCCommon, 8),
    OPC_SLOT(IOPCCommon, SetLocaleID, 3),
    OPC_SLOT(IOPCCommon, GetLocaleID, 4),
    OPC_SLOT(IOPCCommon, QueryAvailableLocaleIDs, 5),
    OPC_SLOT(IOPCCommon, GetErrorString, 6),
    OPC_SLOT(IOPCCommon, SetClientName, 7),

    OPC_VTABLE_SIZE(IOPCShutdown, 4),
    OPC_SLOT(IOPCShutdown, ShutdownRequest, 3),

    OPC_VTABLE_SIZE(IOPCServerList, 6),
    OPC_SLOT(IOPCServerList, EnumClassesOfCategories, 3),
    OPC_SLOT(IOPCServerList, GetClassDetails, 4),
    OPC_SLOT(IOPCServerList, CLSIDFromProgID, 5),

    OPC_VTABLE_SIZE(IOPCEnumGUID, 7),
    OPC_SLOT(IOPCEnumGUID, Next, 3),
    OPC_SLOT(IOPCEnumGUID, Skip, 4),
    OPC_SLOT(IOPCEnumGUID, Reset, 5),
    OPC_SLOT(IOPCEnumGUID, Clone, 6),

    OPC_VTABLE_SIZE(IOPCServerList2, 6),
    OPC_SLOT(IOPCServerList2, EnumClassesOfCategories, 3),
    OPC_SLOT(IOPCServerList2, GetClassDetails, 4),
    OPC_SLOT(IOPCServerList2, CLSIDFromProgID, 5),

    OPC_VTABLE_SIZE(IOPCServer, 9),
    OPC_SLOT(IOPCServer, AddGroup, 3),
    OPC_SLOT(IOPCServer, GetErrorString, 4),
    OPC_SLOT(IOPCServer, GetGroupByName, 5),
    OPC_SLOT(IOPCServer, GetStatus, 6),
    OPC_SLOT(IOPCServer, RemoveGroup, 7),
    OPC_SLOT(IOPCServer, CreateGroupEnumerator, 8),

    OPC_VTABLE_SIZE(IOPCServerPublicGroups, 5),
    OPC_SLOT(IOPCServerPublicGroups, GetPublicGroupByName, 3),
    OPC_SLOT(IOPCServerPublicGroups, RemovePublicGroup, 4),

    OPC_VTABLE_SIZE(IOPCBrowseServerAddressSpace, 8),
    OPC_SLOT(IOPCBrowseServerAddressSpace, QueryOrganization, 3),
    OPC_SLOT(IOPCBrowseServerAddressSpace, ChangeBrowsePosition, 4),
    OPC_SLOT(IOPCBrowseServerAddressSpace, BrowseOPCItemIDs, 5),
    OPC_SLOT(IOPCBrowseServerAddressSpace, GetItemID, 6),
    OPC_SLOT(IOPCBrowseServerAddressSpace, BrowseAccessPaths, 7),

    OPC_VTABLE_SIZE(IOPCGroupStateMgt, 7),
    OPC_SLOT(IOPCGroupStateMgt, GetState, 3),
    OPC_SLOT(IOPCGroupStateMgt, SetState, 4),
    OPC_SLOT(IOPCGroupStateMgt, SetName, 5),
    OPC_SLOT(IOPCGroupStateMgt, CloneGroup, 6),

    OPC_VTABLE_SIZE(IOPCGroupStateMgt2, 9),
    OPC_SLOT(IOPCGroupStateMgt2, GetState, 3),
    OPC_SLOT(IOPCGroupStateMgt2, SetState, 4),
    OPC_SLOT(IOPCGroupStateMgt2, SetName, 5),
    OPC_SLOT(IOPCGroupStateMgt2, CloneGroup, 6),
    OPC_SLOT(IOPCGroupStateMgt2, SetKeepAlive, 7),
    OPC_SLOT(IOPCGroupStateMgt2, GetKeepAlive, 8),

    OPC_VTABLE_SIZE(IOPCPublicGroupStateMgt, 5),
    OPC_SLOT(IOPCPublicGroupStateMgt, GetState, 3),
    OPC_SLOT(IOPCPublicGroupStateMgt, MoveToPublic, 4),

    OPC_VTABLE_SIZE(IOPCSyncIO, 5),
    OPC_SLOT(IOPCSyncIO, Read, 3),
    OPC_SLOT(IOPCSyncIO, Write, 4),

    OPC_VTABLE_SIZE(IOPCSyncIO2, 7),
    OPC_SLOT(IOPCSyncIO2, Read, 3),
    OPC_SLOT(IOPCSyncIO2, Write, 4),
    OPC_SLOT(IOPCSyncIO2, ReadMaxAge, 5),
    OPC_SLOT(IOPCSyncIO2, WriteVQT, 6),

    OPC_VTABLE_SIZE(IOPCAsyncIO, 7),
    OPC_SLOT(IOPCAsyncIO, Read, 3),
    OPC_SLOT(IOPCAsyncIO, Write, 4),
    OPC_SLOT(IOPCAsyncIO, Refresh, 5),
    OPC_SLOT(IOPCAsyncIO, Cancel, 6),

    OPC_VTABLE_SIZE(IOPCAsyncIO2, 9),
    OPC_SLOT(IOPCAsyncIO2, Read, 3),
    OPC_SLOT(IOPCAsyncIO2, Write, 4),
    OPC_SLOT(IOPCAsyncIO2, Refresh2, 5),
    OPC_SLOT(IOPCAsyncIO2, Cancel2, 6),
    OPC_SLOT(IOPCAsyncIO2, SetEnable, 7),
    OPC_SLOT(IOPCAsyncIO2, GetEnable, 8),

    OPC_VTABLE_SIZE(IOPCAsyncIO3, 12),
    OPC_SLOT(IOPCAsyncIO3, Read, 3),
    OPC_SLOT(IOPCAsyncIO3, Write, 4),
    OPC_SLOT(IOPCAsyncIO3, Refresh2, 5),
    OPC_SLOT(IOPCAsyncIO3, Cancel2, 6),
    OPC_SLOT(IOPCAsyncIO3, SetEnable, 7),
    OPC_SLOT(IOPCAsyncIO3, GetEnable, 8),
    OPC_SLOT(IOPCAsyncIO3, ReadMaxAge, 9),
    OPC_SLOT(IOPCAsyncIO3, WriteVQT, 10),
    OPC_SLOT(IOPCAsyncIO3, RefreshMaxAge, 11),

    OPC_VTABLE_SIZE(IOPCItemMgt, 10),
    OPC_SLOT(IOPCItemMgt, AddItems, 3),
    OPC_SLOT(IOPCItemMgt, ValidateItems, 4),
    OPC_SLOT(IOPCItemMgt, RemoveItems, 5),
    OPC_SLOT(IOPCItemMgt, SetActiveState, 6),
    OPC_SLOT(IOPCItemMgt, SetClientHandles, 7),
    OPC_SLOT(IOPCItemMgt, SetDatatypes, 8),
    OPC_SLOT(IOPCItemMgt, CreateEnumerator, 9),

    OPC_VTABLE_SIZE(IEnumOPCItemAttributes, 7),
    OPC_SLOT(IEnumOPCItemAttributes, Next, 3),
    OPC_SLOT(IEnumOPCItemAttributes, Skip, 4),
    OPC_SLOT(IEnumOPCItemAttributes, Reset, 5),
    OPC_SLOT(IEnumOPCItemAttributes, Clone, 6),

    OPC_VTABLE_SIZE(IOPCDataCallback, 7),
    OPC_SLOT(IOPCDataCallback, OnDataChange, 3),
    OPC_SLOT(IOPCDataCallback, OnReadComplete, 4),
    OPC_SLOT(IOPCDataCallback, OnWriteComplete, 5),
    OPC_SLOT(IOPCDataCallback, OnCancelComplete, 6),

    OPC_VTABLE_SIZE(IOPCItemProperties, 6),
    OPC_SLOT(IOPCItemProperties, QueryAvailableProperties, 3),
    OPC_SLOT(IOPCItemProperties, GetItemProperties, 4),
    OPC_SLOT(IOPCItemProperties, LookupItemIDs, 5),

    OPC_VTABLE_SIZE(IOPCItemDeadbandMgt, 6),
    OPC_SLOT(IOPCItemDeadbandMgt, SetItemDeadband, 3),
    OPC_SLOT(IOPCItemDeadbandMgt, GetItemDeadband, 4),
    OPC_SLOT(IOPCItemDeadbandMgt, ClearItemDeadband, 5),

    OPC_VTABLE_SIZE(IOPCItemSamplingMgt, 8),
    OPC_SLOT(IOPCItemSamplingMgt, SetItemSamplingRate, 3),
    OPC_SLOT(IOPCItemSamplingMgt, GetItemSamplingRate, 4),
    OPC_SLOT(IOPCItemSamplingMgt, ClearItemSamplingRate, 5),
    OPC_SLOT(IOPCItemSamplingMgt, SetItemBufferEnable, 6),
    OPC_SLOT(IOPCItemSamplingMgt, GetItemBufferEnable, 7),

    OPC_VTABLE_SIZE(IOPCBrowse, 5),
    OPC_SLOT(IOPCBrowse, GetProperties, 3),
    OPC_SLOT(IOPCBrowse, Browse, 4),

    OPC_VTABLE_SIZE(IOPCItemIO, 5),
    OPC_SLOT(IOPCItemIO, Read, 3),
    OPC_SLOT(IOPCItemIO, WriteVQT, 4),
};

static_assert(std::ranges::all_of(kSlots, [](const Slot& s) { return s.actual == s.expected; }),
              "a method is not in its published vtable slot; the InterfaceLayout test names it");

TEST(InterfaceLayout, MethodsSitInTheirPublishedSlots) {
    for (const auto& s : kSlots) {
        EXPECT_EQ(s.actual, s.expected) << s.method;
    }
}

struct Layout {
    std::string_view what;
    std::size_t actual;
    std::size_t expected32;
    std::size_t expected64;

    [[nodiscard]] constexpr std::size_t expected() const { return is32 ? expected32 : expected64; }
};

// 32-bit values as published; 64-bit values follow from natural alignment with
// 8-byte pointers and the 24-byte 64-bit VARIANT.
#define OPC_SIZE(type, size32, size64) Layout { "sizeof(" #type ")", sizeof(type), size32, size64 }
#define OPC_ALIGN(type, align32, align64) Layout { "alignof(" #type ")", alignof(type), align32, align64 }
#define OPC_FIELD(type, member, off32, off64) \
    Layout { #type "." #member, offsetof(type, member), off32, off64 }

constexpr Layout kLayouts[] = {
    OPC_SIZE(OPCSERVERSTATUS, 48, 56),
    OPC_ALIGN(OPCSERVERSTATUS, 4, 8),
    OPC_FIELD(OPCSERVERSTATUS, ftStartTime, 0, 0),
    OPC_FIELD(OPCSERVERSTATUS, ftCurrentTime, 8, 8),
    OPC_FIELD(OPCSERVERSTATUS, ftLastUpdateTime, 16, 16),
    OPC_FIELD(OPCSERVERSTATUS, dwServerState, 24, 24),
    OPC_FIELD(OPCSERVERSTATUS, dwGroupCount, 28, 28),
    OPC_FIELD(OPCSERVERSTATUS, dwBandWidth, 32, 32),
    OPC_FIELD(OPCSERVERSTATUS, wMajorVersion, 36, 36),
    OPC_FIELD(OPCSERVERSTATUS, wMinorVersion, 38, 38),
    OPC_FIELD(OPCSERVERSTATUS, wBuildNumber, 40, 40),
    OPC_FIELD(OPCSERVERSTATUS, wReserved, 42, 42),
    OPC_FIELD(OPCSERVERSTATUS, szVendorInfo, 44, 48),

    OPC_SIZE(OPCITEMDEF, 28, 48),
    OPC_ALIGN(OPCITEMDEF, 4, 8),
    OPC_FIELD(OPCITEMDEF, szAccessPath, 0, 0),
    OPC_FIELD(OPCITEMDEF, szItemID, 4, 8),
    OPC_FIELD(OPCITEMDEF, bActive, 8, 16),
    OPC_FIELD(OPCITEMDEF, hClient, 12, 20),
    OPC_FIELD(OPCITEMDEF, dwBlobSize, 16, 24),
    OPC_FIELD(OPCITEMDEF, pBlob, 20, 32),
    OPC_FIELD(OPCITEMDEF, vtRequestedDataType, 24, 40),
    OPC_FIELD(OPCITEMDEF, wReserved, 26, 42),

    OPC_SIZE(OPCITEMRESULT, 20, 24),
    OPC_ALIGN(OPCITEMRESULT, 4, 8),
    OPC_FIELD(OPCITEMRESULT, hServer, 0, 0),
    OPC_FIELD(OPCITEMRESULT, vtCanonicalDataType, 4, 4),
    OPC_FIELD(OPCITEMRESULT, wReserved, 6, 6),
    OPC_FIELD(OPCITEMRESULT, dwAccessRights, 8, 8),
    OPC_FIELD(OPCITEMRESULT, dwBlobSize, 12, 12),
    OPC_FIELD(OPCITEMRESULT, pBlob, 16, 16),

    OPC_SIZE(OPCITEMATTRIBUTES, 56, 80),
    OPC_ALIGN(OPCITEMATTRIBUTES, 8, 8),
    OPC_FIELD(OPCITEMATTRIBUTES, szAccessPath, 0, 0),
    OPC_FIELD(OPCITEMATTRIBUTES, szItemID, 4, 8),
    OPC_FIELD(OPCITEMATTRIBUTES, bActive, 8, 16),
    OPC_FIELD(OPCITEMATTRIBUTES, hClient, 12, 20),
    OPC_FIELD(OPCITEMATTRIBUTES, hServer, 16, 24),
    OPC_FIELD(OPCITEMATTRIBUTES, dwAccessRights, 20, 28),
    OPC_FIELD(OPCITEMATTRIBUTES, dwBlobSize, 24, 32),
    OPC_FIELD(OPCITEMATTRIBUTES, pBlob, 28, 40),
    OPC_FIELD(OPCITEMATTRIBUTES, vtRequestedDataType, 32, 48),
    OPC_FIELD(OPCITEMATTRIBUTES, vtCanonicalDataType, 34, 50),
    OPC_FIELD(OPCITEMATTRIBUTES, dwEUType, 36, 52),
    OPC_FIELD(OPCITEMATTRIBUTES, vEUInfo, 40, 56),

    OPC_SIZE(OPCITEMSTATE, 32, 40),
    OPC_ALIGN(OPCITEMSTATE, 8, 8),
    OPC_FIELD(OPCITEMSTATE, hClient, 0, 0),
    OPC_FIELD(OPCITEMSTATE, ftTimeStamp, 4, 4),
    OPC_FIELD(OPCITEMSTATE, wQuality, 12, 12),
    OPC_FIELD(OPCITEMSTATE, wReserved, 14, 14),
    OPC_FIELD(OPCITEMSTATE, vDataValue, 16, 16),

    OPC_SIZE(OPCITEMVQT, 40, 48),
    OPC_ALIGN(OPCITEMVQT, 8, 8),
    OPC_FIELD(OPCITEMVQT, vDataValue, 0, 0),
    OPC_FIELD(OPCITEMVQT, bQualitySpecified, 16, 24),
    OPC_FIELD(OPCITEMVQT, wQuality, 20, 28),
    OPC_FIELD(OPCITEMVQT, wReserved, 22, 30),
    OPC_FIELD(OPCITEMVQT, bTimeStampSpecified, 24, 32),
    OPC_FIELD(OPCITEMVQT, dwReserved, 28, 36),
    OPC_FIELD(OPCITEMVQT, ftTimeStamp, 32, 40),

    OPC_SIZE(OPCITEMPROPERTY, 40, 56),
    OPC_ALIGN(OPCITEMPROPERTY, 8, 8),
    OPC_FIELD(OPCITEMPROPERTY, vtDataType, 0, 0),
    OPC_FIELD(OPCITEMPROPERTY, wReserved, 2, 2),
    OPC_FIELD(OPCITEMPROPERTY, dwPropertyID, 4, 4),
    OPC_FIELD(OPCITEMPROPERTY, szItemID, 8, 8),
    OPC_FIELD(OPCITEMPROPERTY, szDescription, 12, 16),
    OPC_FIELD(OPCITEMPROPERTY, vValue, 16, 24),
    OPC_FIELD(OPCITEMPROPERTY, hrErrorID, 32, 48),
    OPC_FIELD(OPCITEMPROPERTY, dwReserved, 36, 52),

    OPC_SIZE(OPCITEMPROPERTIES, 16, 24),
    OPC_ALIGN(OPCITEMPROPERTIES, 4, 8),
    OPC_FIELD(OPCITEMPROPERTIES, hrErrorID, 0, 0),
    OPC_FIELD(OPCITEMPROPERTIES, dwNumProperties, 4, 4),
    OPC_FIELD(OPCITEMPROPERTIES, pItemProperties, 8, 8),
    OPC_FIELD(OPCITEMPROPERTIES, dwReserved, 12, 16),

    OPC_SIZE(OPCBROWSEELEMENT, 32, 48),
    OPC_ALIGN(OPCBROWSEELEMENT, 4, 8),
    OPC_FIELD(OPCBROWSEELEMENT, szName, 0, 0),
    OPC_FIELD(OPCBROWSEELEMENT, szItemID, 4, 8),
    OPC_FIELD(OPCBROWSEELEMENT, dwFlagValue, 8, 16),
    OPC_FIELD(OPCBROWSEELEMENT, dwReserved, 12, 20),
    OPC_FIELD(OPCBROWSEELEMENT, ItemProperties, 16, 24),

    // The 1.0 data-stream headers hold no pointers: identical on both.
    OPC_SIZE(OPCGROUPHEADER, 20, 20),
    OPC_FIELD(OPCGROUPHEADER, dwSize, 0, 0),
    OPC_FIELD(OPCGROUPHEADER, dwItemCount, 4, 4),
    OPC_FIELD(OPCGROUPHEADER, hClientGroup, 8, 8),
    OPC_FIELD(OPCGROUPHEADER, dwTransactionID, 12, 12),
    OPC_FIELD(OPCGROUPHEADER, hrStatus, 16, 16),

    OPC_SIZE(OPCITEMHEADER1, 20, 20),
    OPC_FIELD(OPCITEMHEADER1, hClient, 0, 0),
    OPC_FIELD(OPCITEMHEADER1, dwValueOffset, 4, 4),
    OPC_FIELD(OPCITEMHEADER1, wQuality, 8, 8),
    OPC_FIELD(OPCITEMHEADER1, wReserved, 10, 10),
    OPC_FIELD(OPCITEMHEADER1, ftTimeStampItem, 12, 12),

    OPC_SIZE(OPCITEMHEADER2, 12, 12),
    OPC_FIELD(OPCITEMHEADER2, hClient, 0, 0),
    OPC_FIELD(OPCITEMHEADER2, dwValueOffset, 4, 4),
    OPC_FIELD(OPCITEMHEADER2, wQuality, 8, 8),
    OPC_FIELD(OPCITEMHEADER2, wReserved, 10, 10),

    OPC_SIZE(OPCGROUPHEADERWRITE, 16, 16),
    OPC_FIELD(OPCGROUPHEADERWRITE, dwItemCount, 0, 0),
    OPC_FIELD(OPCGROUPHEADERWRITE, hClientGroup, 4, 4),
    OPC_FIELD(OPCGROUPHEADERWRITE, dwTransactionID, 8, 8),
    OPC_FIELD(OPCGROUPHEADERWRITE, hrStatus, 12, 12),

    OPC_SIZE(OPCITEMHEADERWRITE, 8, 8),
    OPC_FIELD(OPCITEMHEADERWRITE, hClient, 0, 0),
    OPC_FIELD(OPCITEMHEADERWRITE, dwError, 4, 4),

    // Enumerations are 32-bit in memory (16-bit only on the wire).
    OPC_SIZE(OPCDATASOURCE, 4, 4),
    OPC_SIZE(OPCBROWSETYPE, 4, 4),
    OPC_SIZE(OPCNAMESPACETYPE, 4, 4),
    OPC_SIZE(OPCBROWSEDIRECTION, 4, 4),
    OPC_SIZE(OPCEUTYPE, 4, 4),
    OPC_SIZE(OPCSERVERSTATE, 4, 4),
    OPC_SIZE(OPCENUMSCOPE, 4, 4),
    OPC_SIZE(OPCBROWSEFILTER, 4, 4),
    OPC_SIZE(OPCHANDLE, 4, 4),
};

static_assert(std::ranges::all_of(kLayouts, [](const Layout& l) { return l.actual == l.expected(); }),
              "a structure layout differs from the published one; the InterfaceLayout test names it");

TEST(InterfaceLayout, StructuresHaveThePublishedLayout) {
    for (const auto& l : kLayouts) {
        EXPECT_EQ(l.actual, l.expected()) << l.what << (is32 ? " (32-bit)" : " (64-bit)");
    }
}

TEST(InterfaceLayout, EnumerationValues) {
    EXPECT_EQ(OPC_DS_CACHE, 1);
    EXPECT_EQ(OPC_DS_DEVICE, 2);
    EXPECT_EQ(OPC_FLAT, 3);
    EXPECT_EQ(OPC_NS_HIERARCHIAL, 1);
    EXPECT_EQ(OPC_NS_FLAT, 2);
    EXPECT_EQ(OPC_BROWSE_TO, 3);
    EXPECT_EQ(OPC_NOENUM, 0);
    EXPECT_EQ(OPC_ENUMERATED, 2);
    EXPECT_EQ(OPC_STATUS_RUNNING, 1);
    EXPECT_EQ(OPC_STATUS_TEST, 5);
    EXPECT_EQ(OPC_STATUS_COMM_FAULT, 6);
    EXPECT_EQ(OPC_ENUM_PRIVATE_CONNECTIONS, 1);
    EXPECT_EQ(OPC_ENUM_ALL, 6);
    EXPECT_EQ(OPC_BROWSE_FILTER_ALL, 1);
    EXPECT_EQ(OPC_BROWSE_FILTER_ITEMS, 3);
}

TEST(InterfaceLayout, Constants) {
    EXPECT_EQ(OPC_READABLE, 0x01);
    EXPECT_EQ(OPC_WRITEABLE, 0x02);
    EXPECT_EQ(OPC_BROWSE_HASCHILDREN, 0x01);
    EXPECT_EQ(OPC_BROWSE_ISITEM, 0x02);

    EXPECT_EQ(OPC_QUALITY_MASK, 0xC0);
    EXPECT_EQ(OPC_STATUS_MASK, 0xFC);
    EXPECT_EQ(OPC_LIMIT_MASK, 0x03);
    EXPECT_EQ(OPC_QUALITY_GOOD, 0xC0);
    EXPECT_EQ(OPC_QUALITY_UNCERTAIN, 0x40);
    EXPECT_EQ(OPC_QUALITY_BAD, 0x00);
    EXPECT_EQ(OPC_QUALITY_COMM_FAILURE, 0x18);
    EXPECT_EQ(OPC_QUALITY_WAITING_FOR_INITIAL_DATA, 0x20);
    EXPECT_EQ(OPC_QUALITY_SUB_NORMAL, 0x58);
    EXPECT_EQ(OPC_QUALITY_LOCAL_OVERRIDE, 0xD8);
    EXPECT_EQ(OPC_LIMIT_CONST, 0x03);

    EXPECT_EQ(OPC_PROPERTY_DATATYPE, 1);
    EXPECT_EQ(OPC_PROPERTY_EU_INFO, 8);
    EXPECT_EQ(OPC_PROPERTY_EU_UNITS, 100);
    EXPECT_EQ(OPC_PROPERTY_TIMEZONE, 108);
    EXPECT_EQ(OPC_PROPERTY_SOUND_FILE, 313);
    EXPECT_EQ(OPC_PROPERTY_DATA_FILTER_VALUE, 609);
    EXPECT_EQ(std::wstring_view{OPC_PROPERTY_DESC_DATATYPE}, L"Item Canonical Data Type");
    EXPECT_EQ(std::wstring_view{OPC_PROPERTY_DESC_CHANGE_RATE_LIMIT}, L"Rate of Change Limit");
    EXPECT_EQ(std::wstring_view{OPC_CATEGORY_DESCRIPTION_DA20}, L"OPC Data Access Servers Version 2.0");

    EXPECT_EQ(std::basic_string_view<TCHAR>{OPCSTMFORMATDATA}, TEXT("OPCSTMFORMATDATA"));
    EXPECT_EQ(std::basic_string_view<TCHAR>{OPCSTMFORMATDATATIME}, TEXT("OPCSTMFORMATDATATIME"));
    EXPECT_EQ(std::basic_string_view<TCHAR>{OPCSTMFORMATWRITECOMPLETE}, TEXT("OPCSTMFORMATWRITECOMPLETE"));
}

TEST(InterfaceLayout, ErrorCodes) {
    EXPECT_EQ(OPC_E_INVALIDHANDLE, static_cast<HRESULT>(0xC0040001));
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, static_cast<HRESULT>(0xC0040007));
    EXPECT_EQ(OPC_S_UNSUPPORTEDRATE, 0x0004000D);
    EXPECT_EQ(OPC_S_CLAMP, 0x0004000E);
    EXPECT_EQ(OPC_E_INVALID_PID, static_cast<HRESULT>(0xC0040203));
    EXPECT_EQ(OPC_E_INVALIDCONTINUATIONPOINT, static_cast<HRESULT>(0xC0040403));
    EXPECT_EQ(OPC_S_DATAQUEUEOVERFLOW, 0x00040404);
    EXPECT_EQ(OPC_E_NOTSUPPORTED, static_cast<HRESULT>(0xC0040406));
    EXPECT_TRUE(SUCCEEDED(OPC_S_INUSE));
    EXPECT_TRUE(FAILED(OPC_E_NOTFOUND));
    EXPECT_EQ(HRESULT_FACILITY(OPC_E_BADTYPE), FACILITY_ITF);
}

}  // namespace
