#pragma once
// The OPC server object: one per connected client, listed in the module's
// ServerList from creation until it is destroyed. It owns its private groups
// (holding one reference on each) and the IOPCShutdown connection point, and
// is the owner its groups ask for what concerns the server.
#include <objbase.h>

#include <memory>
#include <string>
#include <vector>

#include "com_object.h"
#include "connection_point.h"
#include "group_list.h"
#include "group_owner.h"
#include "module_state.h"
#include "opc_common.h"
#include "opc_da.h"
#include "quillon.h"

namespace quillon {

class TGroup;
class TOPCTag;

class TServer : public ComObject<IOPCServer, IOPCCommon, IConnectionPointContainer, IOPCItemProperties,
                                 IOPCBrowseServerAddressSpace, IOPCServerPublicGroups, IOPCBrowse, IOPCItemIO>,
                public GroupOwner {
 public:
  explicit TServer(std::shared_ptr<ModuleState> module);

  ServerHandle Handle() override { return static_cast<IOPCServer*>(this); }
  const LogSink& Log() const { return module_->Host; }
  uint16_t ServerState() const { return uint16_t(status_.dwServerState); }
  void SetServerState(uint16_t state) { status_.dwServerState = OPCSERVERSTATE(state); }
  bool Destroyed() const { return destroyed_; }

  // Destroys the object whatever references clients hold: it leaves the list,
  // the host is told, its groups are torn down, and COM drops every remote
  // reference, so a client still holding it gets RPC_E_DISCONNECTED and never
  // reaches freed memory.
  void Destroy();
  // Tells a connected client to let go, with an empty reason.
  void RequestShutdown();

  TGroup* GetGrp(OPCHANDLE handle, bool isPublic) const;
  TGroup* GetGrp(std::wstring_view name, bool isPublic) const;

  // GroupOwner
  IOPCServer* ComServer() override { return this; }
  bool IsGroupNameFree(std::wstring_view name) const override;
  bool HasPublicGroupNamed(std::wstring_view name) const override { return GetGrp(name, true) != nullptr; }
  void DeleteGroup(TGroup* group) override;
  void MoveGroupToPublic(TGroup* group) override;
  void MarkUpdated(const FILETIME& when) override { status_.ftLastUpdateTime = when; }
  void ReclaimClient() override { Destroy(); }

  // IOPCServer
  STDMETHODIMP AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRequestedUpdateRate, OPCHANDLE hClientGroup,
                        LONG* pTimeBias, FLOAT* pPercentDeadband, DWORD dwLCID, OPCHANDLE* phServerGroup,
                        DWORD* pRevisedUpdateRate, REFIID riid, LPUNKNOWN* ppUnk) override;
  STDMETHODIMP GetErrorString(HRESULT dwError, LCID dwLocale, LPWSTR* ppString) override;
  STDMETHODIMP GetGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) override;
  STDMETHODIMP GetStatus(OPCSERVERSTATUS** ppServerStatus) override;
  STDMETHODIMP RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) override;
  STDMETHODIMP CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid, LPUNKNOWN* ppUnk) override;

  // IOPCCommon
  STDMETHODIMP SetLocaleID(LCID dwLcid) override;
  STDMETHODIMP GetLocaleID(LCID* pdwLcid) override;
  STDMETHODIMP QueryAvailableLocaleIDs(DWORD* pdwCount, LCID** pdwLcid) override;
  STDMETHODIMP GetErrorString(HRESULT dwError, LPWSTR* ppString) override;
  STDMETHODIMP SetClientName(LPCWSTR szName) override;

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

  // IOPCServerPublicGroups
  STDMETHODIMP GetPublicGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) override;
  STDMETHODIMP RemovePublicGroup(OPCHANDLE hServerGroup, BOOL bForce) override;

  // IOPCBrowseServerAddressSpace
  STDMETHODIMP QueryOrganization(OPCNAMESPACETYPE* pNameSpaceType) override;
  STDMETHODIMP ChangeBrowsePosition(OPCBROWSEDIRECTION dwBrowseDirection, LPCWSTR szString) override;
  STDMETHODIMP BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType, LPCWSTR szFilterCriteria, VARTYPE vtDataTypeFilter,
                                DWORD dwAccessRightsFilter, LPENUMSTRING* ppIEnumString) override;
  STDMETHODIMP GetItemID(LPWSTR szItemDataID, LPWSTR* szItemID) override;
  STDMETHODIMP BrowseAccessPaths(LPCWSTR szItemID, LPENUMSTRING* ppIEnumString) override;

  // IOPCBrowse
  STDMETHODIMP GetProperties(DWORD dwItemCount, LPWSTR* pszItemIDs, BOOL bReturnPropertyValues,
                             DWORD dwPropertyCount, DWORD* pdwPropertyIDs,
                             OPCITEMPROPERTIES** ppItemProperties) override;
  STDMETHODIMP Browse(LPWSTR szItemID, LPWSTR* pszContinuationPoint, DWORD dwMaxElementsReturned,
                      OPCBROWSEFILTER dwBrowseFilter, LPWSTR szElementNameFilter, LPWSTR szVendorFilter,
                      BOOL bReturnAllProperties, BOOL bReturnPropertyValues, DWORD dwPropertyCount,
                      DWORD* pdwPropertyIDs, BOOL* pbMoreElements, DWORD* pdwCount,
                      OPCBROWSEELEMENT** ppBrowseElements) override;

  // IOPCItemProperties
  STDMETHODIMP QueryAvailableProperties(LPWSTR szItemID, DWORD* pdwCount, DWORD** ppPropertyIDs,
                                        LPWSTR** ppDescriptions, VARTYPE** ppvtDataTypes) override;
  STDMETHODIMP GetItemProperties(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs, VARIANT** ppvData,
                                 HRESULT** ppErrors) override;
  STDMETHODIMP LookupItemIDs(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs, LPWSTR** ppszNewItemIDs,
                             HRESULT** ppErrors) override;

  // IOPCItemIO
  STDMETHODIMP Read(DWORD dwCount, LPCWSTR* pszItemIDs, DWORD* pdwMaxAge, VARIANT** ppvValues,
                    WORD** ppwQualities, FILETIME** ppftTimeStamps, HRESULT** ppErrors) override;
  STDMETHODIMP WriteVQT(DWORD dwCount, LPCWSTR* pszItemIDs, OPCITEMVQT* pItemVQT, HRESULT** ppErrors) override;

 protected:
  ~TServer() override;

 private:
  // The browse position, back at the root when its node left the tree.
  TOPCTag* BrowsePosition();
  void LeaveServerList();
  void ReleaseGroups();

  const std::shared_ptr<ModuleState> module_;
  TGroupList groups_;
  OPCSERVERSTATUS status_{};
  std::wstring vendorInfo_;  // as it was when the client connected
  LCID localeId_ = 0;
  std::wstring clientName_;
  std::shared_ptr<TOPCTag> browsePosition_;
  ComPtr<TConnectionPoint> shutdownPoint_;
  ComPtr<IOPCShutdown> shutdownSink_;
  bool listed_ = false;
  bool destroyed_ = false;
};

}  // namespace quillon
