#pragma once
// The OPC server object: one per connected client, listed in the module's
// ServerList from creation until it is destroyed. It owns its private groups
// (holding one reference on each) and the IOPCShutdown connection point.
#include <objbase.h>

#include <string>
#include <vector>

#include "../api/com_object.h"
#include "../api/connection_point.h"
#include "../api/quillon.h"
#include "opc_common.h"
#include "opc_da.h"

namespace quillon {

class TGroup;

class TServer : public ComObject<IOPCServer, IOPCCommon, IConnectionPointContainer> {
 public:
  TServer();

  ServerHandle Handle() { return static_cast<IOPCServer*>(this); }
  uint16_t ServerState() const { return uint16_t(status_.dwServerState); }
  void SetServerState(uint16_t state) { status_.dwServerState = OPCSERVERSTATE(state); }
  bool Destroyed() const { return destroyed_; }
  void MarkUpdated(const FILETIME& when) { status_.ftLastUpdateTime = when; }

  // Destroys the object whatever references clients hold: it leaves the list,
  // the host is told, its groups are torn down, and COM drops every remote
  // reference, so a client still holding it gets RPC_E_DISCONNECTED and never
  // reaches freed memory.
  void Destroy();
  // Tells a connected client to let go, with an empty reason.
  void RequestShutdown();

  // Internal steps used by the groups.
  TGroup* GetGrp(OPCHANDLE handle, bool isPublic) const;
  TGroup* GetGrp(std::wstring_view name, bool isPublic) const;
  bool IsGroupNameFree(std::wstring_view name) const;
  // Takes the group out of the private list, dropping the server's reference.
  void DeleteGroup(TGroup* group);
  // Hands the server's reference on the group to the public list.
  void MoveGroupToPublic(TGroup* group);

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

 protected:
  ~TServer() override;

 private:
  std::wstring MakeDefaultGroupName() const;
  void LeaveServerList();
  void ReleaseGroups();

  std::vector<ComPtr<TGroup>> groups_;
  OPCSERVERSTATUS status_{};
  std::wstring vendorInfo_;  // as it was when the client connected
  LCID localeId_ = 0;
  std::wstring clientName_;
  ComPtr<TConnectionPoint> shutdownPoint_;
  ComPtr<IOPCShutdown> shutdownSink_;
  bool listed_ = false;
  bool destroyed_ = false;
};

}  // namespace quillon
