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

  Com<IOPCServerPublicGroups> PublicOf(IOPCServer* server) {
    Com<IOPCServerPublicGroups> p;
    EXPECT_HR(server->QueryInterface(__uuidof(IOPCServerPublicGroups), p.put_void()), S_OK);
    return p;
  }

  // The fixture client's group made public under Name.
  Com<IOPCGroupStateMgt> MakePublic(const wchar_t* name, OPCHANDLE* handle) {
    auto group = AddGroup(server_.get(), name, handle);
    auto pub = group.As<IOPCPublicGroupStateMgt>();
    EXPECT_TRUE(pub);
    if (pub) {
      EXPECT_HR(pub->MoveToPublic(), S_OK);
    }
    return group;
  }
};

// Group names of one enumeration scope, for a server object.
Names Scope(IOPCServer* server, OPCENUMSCOPE scope) {
  Com<IEnumString> names;
  HRESULT hr = server->CreateGroupEnumerator(scope, IID_IEnumString, names.put_unknown());
  EXPECT_TRUE(SUCCEEDED(hr)) << HrName(hr);
  return names ? ReadAll(names.get()).strings : Names{};
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
  LPWSTR name = nullptr;
  LONG bias = 0;
  FLOAT deadband = 0;
  LCID lcid = 0;
  OPCHANDLE client = 0;
  s.hr = group->GetState(&s.rate, &active, &name, &bias, &deadband, &lcid, &client, &s.server);
  TaskString owned(name);
  if (name) s.name = name;
  return s;
}

class PublicGroups : public PublicGroupFixture {};

TEST_F(PublicGroups, AMovedGroupIsPublicAndLeavesItsClientsPrivateList) {
  OPCHANDLE handle = 0;
  auto group = MakePublic(L"G1", &handle);
  auto keep = AddGroup(L"Mine");
  BOOL isPublic = FALSE;
  ASSERT_HR(group.As<IOPCPublicGroupStateMgt>()->GetState(&isPublic), S_OK);
  EXPECT_TRUE(isPublic);
  EXPECT_EQ(Scope(server_.get(), OPC_ENUM_PRIVATE), Names{L"Mine"});
  EXPECT_EQ(Scope(server_.get(), OPC_ENUM_PUBLIC), Names{L"G1"});
}

TEST_F(PublicGroups, AnotherClientFindsTheSameGroupByNameInAnyCase) {
  OPCHANDLE handle = 0;
  auto mine = MakePublic(L"G1", &handle);
  auto other = Connect();
  auto otherPublic = PublicOf(other.get());
  ASSERT_TRUE(otherPublic);
  Com<IUnknown> found, again;
  ASSERT_HR(otherPublic->GetPublicGroupByName(L"g1", IID_IUnknown, found.put_unknown()), S_OK);
  ASSERT_HR(otherPublic->GetPublicGroupByName(L"G1", IID_IUnknown, again.put_unknown()), S_OK);
  EXPECT_TRUE(SameObject(found, again)) << "both lookups name one object";

  // Identity across the processes: the same server handle, and a change made
  // through the other client's reference is seen through the first one's.
  auto theirs = found.As<IOPCGroupStateMgt>();
  ASSERT_TRUE(theirs);
  GroupState seen = StateOf(theirs.get());
  ASSERT_HR(seen.hr, S_OK);
  EXPECT_EQ(seen.server, handle);
  EXPECT_EQ(seen.name, L"G1");
  DWORD rate = 2500, revised = 0;
  ASSERT_HR(theirs->SetState(&rate, &revised, nullptr, nullptr, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(StateOf(mine.get()).rate, revised);
  EXPECT_EQ(revised, 2500u);

  Com<IUnknown> none;
  EXPECT_HR(otherPublic->GetPublicGroupByName(L"G2", IID_IUnknown, none.put_unknown()), E_INVALIDARG);
  EXPECT_HR(otherPublic->GetPublicGroupByName(L"", IID_IUnknown, none.put_unknown()), E_INVALIDARG);
}

TEST_F(PublicGroups, RemovingAHeldGroupFlagsItUntilTheLastClientLetsGo) {
  OPCHANDLE handle = 0;
  auto group = MakePublic(L"G1", &handle);
  auto other = Connect();
  Com<IUnknown> held;
  ASSERT_HR(PublicOf(other.get())->GetPublicGroupByName(L"G1", IID_IUnknown, held.put_unknown()), S_OK);

  auto publicGroups = PublicOf(server_.get());
  ASSERT_TRUE(publicGroups);
  EXPECT_HR(publicGroups->RemovePublicGroup(handle, FALSE), OPC_S_INUSE);
  EXPECT_HR(StateOf(group.get()).hr, E_FAIL) << "the holder of a removed group sees only E_FAIL";
  EXPECT_HR(StateOf(held.As<IOPCGroupStateMgt>().get()).hr, E_FAIL);
  EXPECT_EQ(Scope(server_.get(), OPC_ENUM_PUBLIC), Names{L"G1"}) << "a group still in use stays listed";

  group.reset();
  held.reset();
  EXPECT_HR(publicGroups->RemovePublicGroup(handle, FALSE), S_OK);
  EXPECT_TRUE(Scope(server_.get(), OPC_ENUM_PUBLIC).empty());
  EXPECT_TRUE(Scope(other.get(), OPC_ENUM_ALL).empty());
  Com<IUnknown> none;
  EXPECT_HR(PublicOf(other.get())->GetPublicGroupByName(L"G1", IID_IUnknown, none.put_unknown()), E_INVALIDARG);
}

TEST_F(PublicGroups, AGroupNoClientHoldsIsRemovedAtOnce) {
  OPCHANDLE handle = 0;
  MakePublic(L"G1", &handle);  // the returned reference is dropped at once
  EXPECT_HR(PublicOf(server_.get())->RemovePublicGroup(handle, FALSE), S_OK);
  EXPECT_TRUE(Scope(server_.get(), OPC_ENUM_PUBLIC).empty());
  EXPECT_HR(PublicOf(server_.get())->RemovePublicGroup(handle, FALSE), E_INVALIDARG) << "it is gone";
}

TEST_F(PublicGroups, APrivateGroupsHandleIsNotAPublicOne) {
  OPCHANDLE handle = 0;
  auto group = AddGroup(server_.get(), L"Private", &handle);
  EXPECT_HR(PublicOf(server_.get())->RemovePublicGroup(handle, TRUE), E_INVALIDARG);
  EXPECT_HR(StateOf(group.get()).hr, S_OK) << "the private group is untouched";
  EXPECT_EQ(Scope(server_.get(), OPC_ENUM_PRIVATE), Names{L"Private"});
}

TEST_F(PublicGroups, AGroupMovesToPublicOnlyOnceAndUnderAFreeName) {
  OPCHANDLE handle = 0;
  auto group = MakePublic(L"G1", &handle);
  EXPECT_HR(group.As<IOPCPublicGroupStateMgt>()->MoveToPublic(), OPC_E_PUBLIC);

  auto other = Connect();
  auto twin = AddGroup(other.get(), L"G1");
  auto twinPublic = twin.As<IOPCPublicGroupStateMgt>();
  ASSERT_TRUE(twinPublic);
  EXPECT_HR(twinPublic->MoveToPublic(), OPC_E_DUPLICATENAME);
  BOOL isPublic = TRUE;
  ASSERT_HR(twinPublic->GetState(&isPublic), S_OK);
  EXPECT_FALSE(isPublic);
  EXPECT_EQ(Scope(other.get(), OPC_ENUM_PRIVATE), Names{L"G1"});
  EXPECT_EQ(Scope(other.get(), OPC_ENUM_PUBLIC), Names{L"G1"});
}

// Per-item deadbands and the refused sampling methods, on one group.
class ItemDeadband : public PublicGroupFixture {
 protected:
  void SetUp() override {
    PublicGroupFixture::SetUp();
    if (HasFatalFailure()) return;
    group_ = AddGroup(L"Deadbands");
    auto items = group_.As<IOPCItemMgt>();
    ASSERT_TRUE(items);
    ItemDefs defs;
    defs.Add(L"Flow", VT_EMPTY, 1).Add(L"Count", VT_EMPTY, 2).Add(L"Name", VT_EMPTY, 3);
    ItemResults r;
    ASSERT_HR(items->AddItems(defs.Count(), defs.Data(), &r.results, &r.errors), S_OK);
    r.count = defs.Count();
    for (DWORD i = 0; i < r.count; ++i) handles_.push_back(r.results[i].hServer);
    deadbands_ = group_.As<IOPCItemDeadbandMgt>();
    ASSERT_TRUE(deadbands_);
  }
  void TearDown() override {
    deadbands_.reset();
    group_.reset();
    PublicGroupFixture::TearDown();
  }

  HRESULT Set(std::vector<OPCHANDLE> handles, std::vector<FLOAT> values, Codes* codes) {
    Errors e;
    HRESULT hr = deadbands_->SetItemDeadband(DWORD(handles.size()), handles.data(), values.data(), &e.errors);
    e.count = e.errors ? DWORD(handles.size()) : 0;
    *codes = e.Get();
    return hr;
  }
  HRESULT Clear(std::vector<OPCHANDLE> handles, Codes* codes) {
    Errors e;
    HRESULT hr = deadbands_->ClearItemDeadband(DWORD(handles.size()), handles.data(), &e.errors);
    e.count = e.errors ? DWORD(handles.size()) : 0;
    *codes = e.Get();
    return hr;
  }
  // GetItemDeadband's answer; the values of failed entries are not reported.
  HRESULT Get(std::vector<OPCHANDLE> handles, std::vector<FLOAT>* values, Codes* codes) {
    Errors e;
    FLOAT* got = nullptr;
    HRESULT hr = deadbands_->GetItemDeadband(DWORD(handles.size()), handles.data(), &got, &e.errors);
    TaskMem<FLOAT> owned(got);
    e.count = e.errors ? DWORD(handles.size()) : 0;
    *codes = e.Get();
    values->clear();
    for (DWORD i = 0; got && i < e.count; ++i)
      if (e.errors[i] == S_OK) values->push_back(got[i]);
    return hr;
  }

  Com<IOPCGroupStateMgt> group_;
  Com<IOPCItemDeadbandMgt> deadbands_;
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
  auto sampling = group_.As<IOPCItemSamplingMgt>();
  ASSERT_TRUE(sampling);
  OPCHANDLE handle = handles_[0];
  DWORD rate = 500;
  BOOL enable = TRUE;
  DWORD* revised = nullptr;
  DWORD* rates = nullptr;
  BOOL* enabled = nullptr;
  // Out arrays cannot be seen untouched across the proxy; none may come back.
  Errors e1, e2, e3, e4, e5;
  EXPECT_HR(sampling->SetItemSamplingRate(1, &handle, &rate, &revised, &e1.errors), E_NOTIMPL);
  EXPECT_HR(sampling->GetItemSamplingRate(1, &handle, &rates, &e2.errors), E_NOTIMPL);
  EXPECT_HR(sampling->ClearItemSamplingRate(1, &handle, &e3.errors), E_NOTIMPL);
  EXPECT_HR(sampling->SetItemBufferEnable(1, &handle, &enable, &e4.errors), E_NOTIMPL);
  EXPECT_HR(sampling->GetItemBufferEnable(1, &handle, &enabled, &e5.errors), E_NOTIMPL);
  EXPECT_EQ(revised, nullptr);
  EXPECT_EQ(rates, nullptr);
  EXPECT_EQ(enabled, nullptr);
  for (const Errors* e : {&e1, &e2, &e3, &e4, &e5}) EXPECT_EQ(e->errors, nullptr);
}

}  // namespace
}  // namespace e2e
