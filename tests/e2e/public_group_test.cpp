// Public groups shared by the clients of one host, seen across processes
// (IOPCPublicGroupStateMgt, IOPCServerPublicGroups), and a group's per-item
// deadbands (IOPCItemDeadbandMgt) and its refused sampling (IOPCItemSamplingMgt).
#include <limits>

#include "opc_client.h"

namespace e2e {
namespace {

using Names = std::vector<std::wstring>;

class PublicGroupFixture : public HostedServer {
 protected:
  std::vector<std::string> Tags() const override { return {"Flow 5 3 100", "Count 3 3 7", "Name 8 3 alpha"}; }

  ComPtr<IOPCServerPublicGroups> PublicOf(IOPCServer* server) {
    ComPtr<IOPCServerPublicGroups> p;
    EXPECT_HR(server->QueryInterface(__uuidof(IOPCServerPublicGroups), p.PutVoid()), S_OK);
    return p;
  }

  // The fixture client's group made public under Name.
  ComPtr<IOPCGroupStateMgt> MakePublic(const wchar_t* name, OPCHANDLE* handle) {
    auto group = AddGroup(server_.Get(), name, handle);
    auto pub = group.Query<IOPCPublicGroupStateMgt>();
    EXPECT_TRUE(pub);
    if (pub) {
      EXPECT_HR(pub->MoveToPublic(), S_OK);
    }
    return group;
  }
};

// Group names of one enumeration scope, for a server object.
Names Scope(IOPCServer* server, OPCENUMSCOPE scope) {
  ComPtr<IEnumString> names;
  HRESULT hr = server->CreateGroupEnumerator(scope, IID_IEnumString, names.PutUnknown());
  EXPECT_TRUE(SUCCEEDED(hr)) << HrName(hr);
  return names ? ReadAll(names.Get()).strings : Names{};
}

struct GroupState {
  HRESULT hr;
  DWORD rate = 0;
  std::wstring name;
  OPCHANDLE server = 0;
};
GroupState StateOf(IOPCGroupStateMgt* group) {
  GroupState s;
  BOOL active = FALSE;
  TaskString name;
  LONG bias = 0;
  FLOAT deadband = 0;
  LCID lcid = 0;
  OPCHANDLE client = 0;
  s.hr = group->GetState(&s.rate, &active, name.Put(), &bias, &deadband, &lcid, &client, &s.server);
  if (name) s.name = name.Get();
  return s;
}

class PublicGroups : public PublicGroupFixture {};

TEST_F(PublicGroups, AMovedGroupIsPublicAndLeavesItsClientsPrivateList) {
  OPCHANDLE handle = 0;
  auto group = MakePublic(L"G1", &handle);
  auto keep = AddGroup(L"Mine");
  BOOL isPublic = FALSE;
  ASSERT_HR(group.Query<IOPCPublicGroupStateMgt>()->GetState(&isPublic), S_OK);
  EXPECT_TRUE(isPublic);
  EXPECT_EQ(Scope(server_.Get(), OPC_ENUM_PRIVATE), Names{L"Mine"});
  EXPECT_EQ(Scope(server_.Get(), OPC_ENUM_PUBLIC), Names{L"G1"});
}

TEST_F(PublicGroups, AnotherClientFindsTheSameGroupByNameInAnyCase) {
  OPCHANDLE handle = 0;
  auto mine = MakePublic(L"G1", &handle);
  auto other = Connect();
  auto otherPublic = PublicOf(other.Get());
  ASSERT_TRUE(otherPublic);
  ComPtr<IUnknown> found, again;
  ASSERT_HR(otherPublic->GetPublicGroupByName(L"g1", IID_IUnknown, found.PutUnknown()), S_OK);
  ASSERT_HR(otherPublic->GetPublicGroupByName(L"G1", IID_IUnknown, again.PutUnknown()), S_OK);
  EXPECT_TRUE(SameObject(found, again)) << "both lookups name one object";

  // Identity across the processes: the same server handle, and a change made
  // through the other client's reference is seen through the first one's.
  auto theirs = found.Query<IOPCGroupStateMgt>();
  ASSERT_TRUE(theirs);
  GroupState seen = StateOf(theirs.Get());
  ASSERT_HR(seen.hr, S_OK);
  EXPECT_EQ(seen.server, handle);
  EXPECT_EQ(seen.name, L"G1");
  DWORD rate = 2500, revised = 0;
  ASSERT_HR(theirs->SetState(&rate, &revised, nullptr, nullptr, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(StateOf(mine.Get()).rate, revised);
  EXPECT_EQ(revised, 2500u);

  ComPtr<IUnknown> none;
  EXPECT_HR(otherPublic->GetPublicGroupByName(L"G2", IID_IUnknown, none.PutUnknown()), E_INVALIDARG);
  EXPECT_HR(otherPublic->GetPublicGroupByName(L"", IID_IUnknown, none.PutUnknown()), E_INVALIDARG);
}

TEST_F(PublicGroups, RemovingAHeldGroupFlagsItUntilTheLastClientLetsGo) {
  OPCHANDLE handle = 0;
  auto group = MakePublic(L"G1", &handle);
  auto other = Connect();
  ComPtr<IUnknown> held;
  ASSERT_HR(PublicOf(other.Get())->GetPublicGroupByName(L"G1", IID_IUnknown, held.PutUnknown()), S_OK);

  auto publicGroups = PublicOf(server_.Get());
  ASSERT_TRUE(publicGroups);
  EXPECT_HR(publicGroups->RemovePublicGroup(handle, FALSE), OPC_S_INUSE);
  EXPECT_HR(StateOf(group.Get()).hr, E_FAIL) << "the holder of a removed group sees only E_FAIL";
  EXPECT_HR(StateOf(held.Query<IOPCGroupStateMgt>().Get()).hr, E_FAIL);
  EXPECT_EQ(Scope(server_.Get(), OPC_ENUM_PUBLIC), Names{L"G1"}) << "a group still in use stays listed";

  group.Reset();
  held.Reset();
  EXPECT_HR(publicGroups->RemovePublicGroup(handle, FALSE), S_OK);
  EXPECT_TRUE(Scope(server_.Get(), OPC_ENUM_PUBLIC).empty());
  EXPECT_TRUE(Scope(other.Get(), OPC_ENUM_ALL).empty());
  ComPtr<IUnknown> none;
  EXPECT_HR(PublicOf(other.Get())->GetPublicGroupByName(L"G1", IID_IUnknown, none.PutUnknown()), E_INVALIDARG);
}

TEST_F(PublicGroups, AGroupNoClientHoldsIsRemovedAtOnce) {
  OPCHANDLE handle = 0;
  MakePublic(L"G1", &handle);  // the returned reference is dropped at once
  EXPECT_HR(PublicOf(server_.Get())->RemovePublicGroup(handle, FALSE), S_OK);
  EXPECT_TRUE(Scope(server_.Get(), OPC_ENUM_PUBLIC).empty());
  EXPECT_HR(PublicOf(server_.Get())->RemovePublicGroup(handle, FALSE), E_INVALIDARG) << "it is gone";
}

TEST_F(PublicGroups, APrivateGroupsHandleIsNotAPublicOne) {
  OPCHANDLE handle = 0;
  auto group = AddGroup(server_.Get(), L"Private", &handle);
  EXPECT_HR(PublicOf(server_.Get())->RemovePublicGroup(handle, TRUE), E_INVALIDARG);
  EXPECT_HR(StateOf(group.Get()).hr, S_OK) << "the private group is untouched";
  EXPECT_EQ(Scope(server_.Get(), OPC_ENUM_PRIVATE), Names{L"Private"});
}

TEST_F(PublicGroups, AGroupMovesToPublicOnlyOnceAndUnderAFreeName) {
  OPCHANDLE handle = 0;
  auto group = MakePublic(L"G1", &handle);
  EXPECT_HR(group.Query<IOPCPublicGroupStateMgt>()->MoveToPublic(), OPC_E_PUBLIC);

  auto other = Connect();
  auto twin = AddGroup(other.Get(), L"G1");
  auto twinPublic = twin.Query<IOPCPublicGroupStateMgt>();
  ASSERT_TRUE(twinPublic);
  EXPECT_HR(twinPublic->MoveToPublic(), OPC_E_DUPLICATENAME);
  BOOL isPublic = TRUE;
  ASSERT_HR(twinPublic->GetState(&isPublic), S_OK);
  EXPECT_FALSE(isPublic);
  EXPECT_EQ(Scope(other.Get(), OPC_ENUM_PRIVATE), Names{L"G1"});
  EXPECT_EQ(Scope(other.Get(), OPC_ENUM_PUBLIC), Names{L"G1"});
}

// Per-item deadbands and the refused sampling methods, on one group.
class ItemDeadband : public PublicGroupFixture {
 protected:
  void SetUp() override {
    PublicGroupFixture::SetUp();
    if (HasFatalFailure()) return;
    group_ = AddGroup(L"Deadbands");
    auto items = group_.Query<IOPCItemMgt>();
    ASSERT_TRUE(items);
    ItemDefs defs;
    defs.Add(L"Flow", VT_EMPTY, 1).Add(L"Count", VT_EMPTY, 2).Add(L"Name", VT_EMPTY, 3);
    ItemResults r;
    ASSERT_HR(items->AddItems(defs.Count(), defs.Data(), r.results.Put(defs.Count()), r.errors.Put(defs.Count())),
              S_OK);
    for (DWORD i = 0; i < r.results.Size(); ++i) handles_.push_back(r.results[i].hServer);
    deadbands_ = group_.Query<IOPCItemDeadbandMgt>();
    ASSERT_TRUE(deadbands_);
  }
  void TearDown() override {
    deadbands_.Reset();
    group_.Reset();
    PublicGroupFixture::TearDown();
  }

  HRESULT Set(std::vector<OPCHANDLE> handles, std::vector<FLOAT> values, Codes* codes) {
    TaskMem<HRESULT> e;
    HRESULT hr =
        deadbands_->SetItemDeadband(DWORD(handles.size()), handles.data(), values.data(), e.Put(DWORD(handles.size())));
    *codes = CodesOf(e);
    return hr;
  }
  HRESULT Clear(std::vector<OPCHANDLE> handles, Codes* codes) {
    TaskMem<HRESULT> e;
    HRESULT hr = deadbands_->ClearItemDeadband(DWORD(handles.size()), handles.data(), e.Put(DWORD(handles.size())));
    *codes = CodesOf(e);
    return hr;
  }
  // GetItemDeadband's answer; the values of failed entries are not reported.
  HRESULT Get(std::vector<OPCHANDLE> handles, std::vector<FLOAT>* values, Codes* codes) {
    const DWORD n = DWORD(handles.size());
    TaskMem<HRESULT> e;
    TaskMem<FLOAT> got;
    HRESULT hr = deadbands_->GetItemDeadband(n, handles.data(), got.Put(n), e.Put(n));
    *codes = CodesOf(e);
    values->clear();
    for (size_t i = 0; got.Get() && i < e.Size(); ++i)
      if (e[i] == S_OK) values->push_back(got[i]);
    return hr;
  }

  ComPtr<IOPCGroupStateMgt> group_;
  ComPtr<IOPCItemDeadbandMgt> deadbands_;
  std::vector<OPCHANDLE> handles_;
};

TEST_F(ItemDeadband, AValueFromZeroToHundredIsStoredAsGiven) {
  Codes codes;
  std::vector<FLOAT> values;
  EXPECT_HR(Set({handles_[0], handles_[1], handles_[2]}, {0.0f, 100.0f, 37.5f}, &codes), S_OK);
  EXPECT_EQ(codes, (Codes{S_OK, S_OK, S_OK})) << "a text item accepts one too";
  EXPECT_HR(Get({handles_[0], handles_[1], handles_[2]}, &values, &codes), S_OK);
  EXPECT_EQ(codes, (Codes{S_OK, S_OK, S_OK}));
  EXPECT_EQ(values, (std::vector<FLOAT>{0.0f, 100.0f, 37.5f}));
}

TEST_F(ItemDeadband, AValueOutsideZeroToHundredRefusesTheWholeCall) {
  Codes codes;
  std::vector<FLOAT> values;
  ASSERT_HR(Set({handles_[0]}, {5.0f}, &codes), S_OK);
  // Count has none of its own: whatever Get says of it must not change.
  std::vector<FLOAT> countBefore;
  Codes countCodesBefore;
  const HRESULT countBeforeHr = Get({handles_[1]}, &countBefore, &countCodesBefore);
  for (FLOAT bad : {-1.0f, -0.5f, 100.5f, std::numeric_limits<FLOAT>::quiet_NaN(),
                    std::numeric_limits<FLOAT>::infinity()}) {
    SCOPED_TRACE(bad);
    EXPECT_HR(Set({handles_[1], handles_[0]}, {20.0f, bad}, &codes), E_INVALIDARG);
    EXPECT_TRUE(codes.empty()) << "an error array came with E_INVALIDARG";
    EXPECT_HR(Get({handles_[0]}, &values, &codes), S_OK);
    EXPECT_EQ(values, std::vector<FLOAT>{5.0f});
    std::vector<FLOAT> countAfter;
    Codes countCodesAfter;
    EXPECT_HR(Get({handles_[1]}, &countAfter, &countCodesAfter), countBeforeHr);
    EXPECT_EQ(countCodesAfter, countCodesBefore);
    EXPECT_EQ(countAfter, countBefore);
  }
}

TEST_F(ItemDeadband, AnItemWithoutOneReportsZeroAndAClearedOneKeepsItsValue) {
  Codes codes;
  std::vector<FLOAT> values;
  EXPECT_HR(Get({handles_[1]}, &values, &codes), S_OK);
  EXPECT_EQ(codes, Codes{S_OK});
  EXPECT_EQ(values, std::vector<FLOAT>{0.0f});

  EXPECT_HR(Set({handles_[1]}, {7.5f}, &codes), S_OK);
  EXPECT_HR(Clear({handles_[1]}, &codes), S_OK);
  EXPECT_EQ(codes, Codes{S_OK});
  EXPECT_HR(Get({handles_[1]}, &values, &codes), S_OK);
  EXPECT_EQ(codes, Codes{S_OK}) << "a cleared deadband is no error";
  EXPECT_EQ(values, std::vector<FLOAT>{7.5f});
  EXPECT_HR(Clear({handles_[0]}, &codes), S_OK) << "clearing one never set";
}

TEST_F(ItemDeadband, AZeroHandleFailsOnlyItsOwnEntry) {
  Codes codes;
  std::vector<FLOAT> values;
  EXPECT_HR(Set({handles_[0], 0}, {5.0f, 5.0f}, &codes), S_FALSE);
  EXPECT_EQ(codes, (Codes{S_OK, OPC_E_INVALIDHANDLE}));
  EXPECT_HR(Get({handles_[0], 0}, &values, &codes), S_FALSE);
  EXPECT_EQ(codes, (Codes{S_OK, OPC_E_INVALIDHANDLE}));
  EXPECT_EQ(values, std::vector<FLOAT>{5.0f});
  EXPECT_HR(Clear({0, handles_[0]}, &codes), S_FALSE);
  EXPECT_EQ(codes, (Codes{OPC_E_INVALIDHANDLE, S_OK}));
}

TEST_F(ItemDeadband, EverySamplingMethodIsRefused) {
  auto sampling = group_.Query<IOPCItemSamplingMgt>();
  ASSERT_TRUE(sampling);
  OPCHANDLE handle = handles_[0];
  DWORD rate = 500;
  BOOL enable = TRUE;
  TaskMem<DWORD> revised, rates;
  TaskMem<BOOL> enabled;
  // Out arrays cannot be seen untouched across the proxy; none may come back.
  TaskMem<HRESULT> e1, e2, e3, e4, e5;
  EXPECT_HR(sampling->SetItemSamplingRate(1, &handle, &rate, revised.Put(1), e1.Put(1)), E_NOTIMPL);
  EXPECT_HR(sampling->GetItemSamplingRate(1, &handle, rates.Put(1), e2.Put(1)), E_NOTIMPL);
  EXPECT_HR(sampling->ClearItemSamplingRate(1, &handle, e3.Put(1)), E_NOTIMPL);
  EXPECT_HR(sampling->SetItemBufferEnable(1, &handle, &enable, e4.Put(1)), E_NOTIMPL);
  EXPECT_HR(sampling->GetItemBufferEnable(1, &handle, enabled.Put(1), e5.Put(1)), E_NOTIMPL);
  EXPECT_EQ(revised.Get(), nullptr);
  EXPECT_EQ(rates.Get(), nullptr);
  EXPECT_EQ(enabled.Get(), nullptr);
  for (const TaskMem<HRESULT>* e : {&e1, &e2, &e3, &e4, &e5}) EXPECT_EQ(e->Get(), nullptr);
}

}  // namespace
}  // namespace e2e
