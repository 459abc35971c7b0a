#include "documented_codes.h"

#include <olectl.h>

#include <algorithm>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "opc_error.h"

namespace hostile {
namespace {

using Codes = std::vector<HRESULT>;

// What every COM method may answer.
const Codes kGeneric = {E_INVALIDARG, E_OUTOFMEMORY, E_FAIL, E_POINTER};

// Per method, from the OPC Data Access 1.0a/2.05/3.0 and OPC Common
// contracts and, for the standard interfaces, from their COM contracts.
// E_NOTIMPL appears only where a method documents it.
const std::map<std::string, Codes, std::less<>>& Table() {
  static const std::map<std::string, Codes, std::less<>> kTable = {
      // Server object.
      {"IOPCServer::AddGroup", {S_OK, OPC_S_UNSUPPORTEDRATE, OPC_E_DUPLICATENAME, E_NOINTERFACE}},
      {"IOPCServer::GetErrorString", {S_OK}},
      {"IOPCServer::GetGroupByName", {S_OK, E_NOINTERFACE}},
      {"IOPCServer::GetStatus", {S_OK}},
      {"IOPCServer::RemoveGroup", {S_OK, OPC_S_INUSE, OPC_E_INVALIDHANDLE}},
      {"IOPCServer::CreateGroupEnumerator", {S_OK, S_FALSE, E_NOINTERFACE}},
      {"IOPCCommon::SetLocaleID", {S_OK}},
      {"IOPCCommon::GetLocaleID", {S_OK}},
      {"IOPCCommon::QueryAvailableLocaleIDs", {S_OK}},
      {"IOPCCommon::GetErrorString", {S_OK}},
      {"IOPCCommon::SetClientName", {S_OK}},
      {"IOPCServerPublicGroups::GetPublicGroupByName", {S_OK, OPC_E_NOTFOUND, E_NOINTERFACE}},
      {"IOPCServerPublicGroups::RemovePublicGroup", {S_OK, OPC_S_INUSE, OPC_E_NOTFOUND}},
      {"IOPCBrowseServerAddressSpace::QueryOrganization", {S_OK}},
      {"IOPCBrowseServerAddressSpace::ChangeBrowsePosition", {S_OK}},
      {"IOPCBrowseServerAddressSpace::BrowseOPCItemIDs", {S_OK, S_FALSE, OPC_E_INVALIDFILTER}},
      {"IOPCBrowseServerAddressSpace::GetItemID", {S_OK, OPC_E_INVALIDITEMID, OPC_E_UNKNOWNITEMID}},
      {"IOPCBrowseServerAddressSpace::BrowseAccessPaths",
       {S_OK, S_FALSE, E_NOTIMPL, OPC_E_INVALIDITEMID, OPC_E_UNKNOWNITEMID}},
      {"IOPCItemProperties::QueryAvailableProperties", {S_OK, OPC_E_INVALIDITEMID, OPC_E_UNKNOWNITEMID}},
      {"IOPCItemProperties::GetItemProperties", {S_OK, S_FALSE, OPC_E_INVALIDITEMID, OPC_E_UNKNOWNITEMID}},
      {"IOPCItemProperties::LookupItemIDs", {S_OK, S_FALSE, OPC_E_INVALIDITEMID, OPC_E_UNKNOWNITEMID}},
      {"IOPCBrowse::GetProperties", {S_OK, S_FALSE}},
      {"IOPCBrowse::Browse",
       {S_OK, S_FALSE, OPC_E_INVALIDITEMID, OPC_E_UNKNOWNITEMID, OPC_E_INVALIDFILTER,
        OPC_E_INVALIDCONTINUATIONPOINT}},
      {"IOPCItemIO::Read", {S_OK, S_FALSE}},
      {"IOPCItemIO::WriteVQT", {S_OK, S_FALSE}},
      {"IPersistFile::IsDirty", {S_OK, S_FALSE}},
      {"IPersistFile::Load", {S_OK, STG_E_FILENOTFOUND, STG_E_ACCESSDENIED, E_NOTIMPL}},
      {"IPersistFile::GetCurFile", {S_OK, S_FALSE}},
      // Connection points, on the server object and on groups.
      {"IConnectionPointContainer::EnumConnectionPoints", {S_OK}},
      {"IConnectionPointContainer::FindConnectionPoint", {S_OK, CONNECT_E_NOCONNECTION}},
      {"IConnectionPoint::GetConnectionInterface", {S_OK}},
      {"IConnectionPoint::GetConnectionPointContainer", {S_OK}},
      {"IConnectionPoint::Advise", {S_OK, CONNECT_E_ADVISELIMIT, CONNECT_E_CANNOTCONNECT}},
      {"IConnectionPoint::Unadvise", {S_OK, CONNECT_E_NOCONNECTION}},
      {"IConnectionPoint::EnumConnections", {S_OK, E_NOTIMPL}},
      // Enumerators.
      {"IEnumString::Next", {S_OK, S_FALSE}},
      {"IEnumString::Skip", {S_OK, S_FALSE}},
      {"IEnumString::Reset", {S_OK}},
      {"IEnumString::Clone", {S_OK}},
      {"IEnumUnknown::Next", {S_OK, S_FALSE}},
      {"IEnumUnknown::Skip", {S_OK, S_FALSE}},
      {"IEnumUnknown::Reset", {S_OK}},
      {"IEnumUnknown::Clone", {S_OK}},
      {"IEnumOPCItemAttributes::Next", {S_OK, S_FALSE}},
      {"IEnumOPCItemAttributes::Skip", {S_OK, S_FALSE}},
      {"IEnumOPCItemAttributes::Reset", {S_OK}},
      {"IEnumOPCItemAttributes::Clone", {S_OK}},
      // Group.
      {"IOPCGroupStateMgt::GetState", {S_OK}},
      {"IOPCGroupStateMgt::SetState", {S_OK, OPC_S_UNSUPPORTEDRATE}},
      {"IOPCGroupStateMgt::SetName", {S_OK, OPC_E_DUPLICATENAME}},
      {"IOPCGroupStateMgt::CloneGroup", {S_OK, OPC_E_DUPLICATENAME, E_NOINTERFACE}},
      {"IOPCGroupStateMgt2::SetKeepAlive", {S_OK, OPC_S_UNSUPPORTEDRATE}},
      {"IOPCGroupStateMgt2::GetKeepAlive", {S_OK}},
      {"IOPCItemMgt::AddItems", {S_OK, S_FALSE, OPC_E_PUBLIC}},
      {"IOPCItemMgt::ValidateItems", {S_OK, S_FALSE}},
      {"IOPCItemMgt::RemoveItems", {S_OK, S_FALSE, OPC_E_PUBLIC}},
      {"IOPCItemMgt::SetActiveState", {S_OK, S_FALSE}},
      {"IOPCItemMgt::SetClientHandles", {S_OK, S_FALSE}},
      {"IOPCItemMgt::SetDatatypes", {S_OK, S_FALSE}},
      {"IOPCItemMgt::CreateEnumerator", {S_OK, S_FALSE, E_NOINTERFACE}},
      {"IOPCSyncIO::Read", {S_OK, S_FALSE}},
      {"IOPCSyncIO::Write", {S_OK, S_FALSE}},
      {"IOPCSyncIO2::ReadMaxAge", {S_OK, S_FALSE}},
      {"IOPCSyncIO2::WriteVQT", {S_OK, S_FALSE}},
      {"IOPCAsyncIO::Read", {S_OK, S_FALSE, CONNECT_E_NOCONNECTION}},
      {"IOPCAsyncIO::Write", {S_OK, S_FALSE, CONNECT_E_NOCONNECTION}},
      {"IOPCAsyncIO::Refresh", {S_OK, CONNECT_E_NOCONNECTION}},
      {"IOPCAsyncIO::Cancel", {S_OK}},
      {"IOPCAsyncIO2::Read", {S_OK, S_FALSE, CONNECT_E_NOCONNECTION}},
      {"IOPCAsyncIO2::Write", {S_OK, S_FALSE, CONNECT_E_NOCONNECTION}},
      {"IOPCAsyncIO2::Refresh2", {S_OK, CONNECT_E_NOCONNECTION}},
      {"IOPCAsyncIO2::Cancel2", {S_OK}},
      {"IOPCAsyncIO2::SetEnable", {S_OK, CONNECT_E_NOCONNECTION}},
      {"IOPCAsyncIO2::GetEnable", {S_OK, CONNECT_E_NOCONNECTION}},
      {"IOPCAsyncIO3::ReadMaxAge", {S_OK, S_FALSE, CONNECT_E_NOCONNECTION}},
      {"IOPCAsyncIO3::WriteVQT", {S_OK, S_FALSE, CONNECT_E_NOCONNECTION}},
      {"IOPCAsyncIO3::RefreshMaxAge", {S_OK, CONNECT_E_NOCONNECTION}},
      {"IOPCItemDeadbandMgt::SetItemDeadband", {S_OK, S_FALSE}},
      {"IOPCItemDeadbandMgt::GetItemDeadband", {S_OK, S_FALSE}},
      {"IOPCItemDeadbandMgt::ClearItemDeadband", {S_OK, S_FALSE}},
      {"IOPCItemSamplingMgt::SetItemSamplingRate", {S_OK, S_FALSE}},
      {"IOPCItemSamplingMgt::GetItemSamplingRate", {S_OK, S_FALSE}},
      {"IOPCItemSamplingMgt::ClearItemSamplingRate", {S_OK, S_FALSE}},
      {"IOPCItemSamplingMgt::SetItemBufferEnable", {S_OK, S_FALSE}},
      {"IOPCItemSamplingMgt::GetItemBufferEnable", {S_OK, S_FALSE}},
      // DA 1.0 streams; a group needs no other IDataObject method.
      {"IDataObject::DAdvise",
       {S_OK, OLE_E_ADVISENOTSUPPORTED, DV_E_FORMATETC, DV_E_LINDEX, DV_E_TYMED, DV_E_DVASPECT,
        CONNECT_E_ADVISELIMIT}},
      {"IDataObject::DUnadvise", {S_OK, OLE_E_NOCONNECTION, OLE_E_ADVISENOTSUPPORTED}},
      {"IDataObject::EnumDAdvise", {S_OK, OLE_E_ADVISENOTSUPPORTED, E_NOTIMPL}},
      {"IDataObject::QueryGetData",
       {S_OK, S_FALSE, DV_E_FORMATETC, DV_E_LINDEX, DV_E_TYMED, DV_E_DVASPECT, OLE_E_NOTRUNNING, E_NOTIMPL}},
      {"IDataObject::GetData",
       {S_OK, DV_E_FORMATETC, DV_E_LINDEX, DV_E_TYMED, DV_E_DVASPECT, OLE_E_NOTRUNNING, STG_E_MEDIUMFULL, E_NOTIMPL}},
      {"IDataObject::EnumFormatEtc", {S_OK, OLE_S_USEREG, E_NOTIMPL}},
      // Interfaces asked for by QueryInterface.
      {"IUnknown::QueryInterface", {S_OK, E_NOINTERFACE}},
  };
  return kTable;
}

// Where the toolkit's own contract answers otherwise than the published
// one, on purpose; a run counts these apart and names each once.
const std::map<std::string, Codes, std::less<>>& ByDesignTable() {
  static const std::map<std::string, Codes, std::less<>> kTable = {
      // The enumerators end with the bare Win32 number 1781 (a success code)
      // instead of S_FALSE.
      {"IEnumString::Next", {HRESULT(1781)}},
      {"IEnumUnknown::Next", {HRESULT(1781)}},
      // Cancels refuse like their sibling requests when no sink is connected.
      {"IOPCAsyncIO::Cancel", {CONNECT_E_NOCONNECTION}},
      {"IOPCAsyncIO2::Cancel2", {CONNECT_E_NOCONNECTION}},
      // A refresh with no readable item makes no transaction and says so.
      {"IOPCAsyncIO::Refresh", {S_FALSE}},
      {"IOPCAsyncIO2::Refresh2", {S_FALSE}},
      {"IOPCAsyncIO3::RefreshMaxAge", {S_FALSE}},
      // A clone whose items cannot all be added again (the requested-type
      // check depends on the tag's value of the moment) passes AddItems'
      // answer on.
      {"IOPCGroupStateMgt::CloneGroup", {S_FALSE}},
      // The optional sampling interface is served only to refuse it.
      {"IOPCItemSamplingMgt::SetItemSamplingRate", {E_NOTIMPL}},
      {"IOPCItemSamplingMgt::GetItemSamplingRate", {E_NOTIMPL}},
      {"IOPCItemSamplingMgt::ClearItemSamplingRate", {E_NOTIMPL}},
      {"IOPCItemSamplingMgt::SetItemBufferEnable", {E_NOTIMPL}},
      {"IOPCItemSamplingMgt::GetItemBufferEnable", {E_NOTIMPL}},
  };
  return kTable;
}

bool Contains(std::initializer_list<HRESULT> codes, HRESULT hr) { return std::ranges::find(codes, hr) != codes.end(); }

}  // namespace

bool Known(std::string_view method) { return Table().find(method) != Table().end(); }

bool ByDesign(std::string_view method, HRESULT hr) {
  auto it = ByDesignTable().find(method);
  return it != ByDesignTable().end() && std::ranges::find(it->second, hr) != it->second.end();
}

bool Documented(std::string_view method, HRESULT hr, bool marshallerRefuses, bool disconnected) {
  auto it = Table().find(method);
  if (it == Table().end()) return false;
  if (std::ranges::find(it->second, hr) != it->second.end()) return true;
  if (std::ranges::find(kGeneric, hr) != kGeneric.end()) return true;
  if (marshallerRefuses &&
      Contains({HRESULT_FROM_WIN32(RPC_X_NULL_REF_POINTER), HRESULT_FROM_WIN32(RPC_X_BAD_STUB_DATA),
                HRESULT_FROM_WIN32(RPC_S_INVALID_BOUND), HRESULT_FROM_WIN32(RPC_X_ENUM_VALUE_OUT_OF_RANGE),
                HRESULT(RPC_X_NULL_REF_POINTER), HRESULT(RPC_X_BAD_STUB_DATA), HRESULT(RPC_S_INVALID_BOUND),
                HRESULT(RPC_X_ENUM_VALUE_OUT_OF_RANGE)},
               hr))
    return true;
  // A proxy whose object the server cut off: RPC_E_DISCONNECTED on Windows,
  // RPC_S_UNKNOWN_IF under Wine (see IsDisconnected in opc_client.h).
  return disconnected && (hr == RPC_E_DISCONNECTED || hr == HRESULT_FROM_WIN32(RPC_S_UNKNOWN_IF));
}

}  // namespace hostile
