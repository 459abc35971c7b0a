// The group object seen by an out-of-process client: IOPCGroupStateMgt(2),
// IOPCPublicGroupStateMgt, its interfaces, its IOPCDataCallback connection
// point, and what is left to a client that still holds a removed group.
#include <limits>

#include "opc_client.h"

namespace e2e {
namespace {

class GroupFixture : public HostedServer {
 protected:
  std::vector<std::string> Tags() const override {
    return {"Tank1.Level 5 3 1.5", "Tank1.Temp 4 1 20", "Counter 3 3 7"};
  }
};
class OpcGroup : public GroupFixture {};
class GroupConnectionPoint : public GroupFixture {};

struct GroupState {
  HRESULT hr;
  DWORD rate = 0;
  BOOL active = 0;
  bool nameArrived = false;
  std::wstring name;
  LONG bias = 0;
  FLOAT deadband = 0;
  LCID lcid = 0;
  OPCHANDLE client = 0, server = 0;
};

GroupState StateOf(IOPCGroupStateMgt* group) {
  GroupState s;
  TaskString name;
  s.hr = group->GetState(&s.rate, &s.active, name.Put(), &s.bias, &s.deadband, &s.lcid, &s.client, &s.server);
  s.nameArrived = name.Get() != nullptr;
  if (name) s.name = name.Get();
  return s;
}

// The time bias a group gets when its client gives none: the host's time
// zone, which this client shares.
LONG DefaultTimeBias() {
  TIME_ZONE_INFORMATION tz;
  switch (GetTimeZoneInformation(&tz)) {
    case TIME_ZONE_ID_STANDARD:
      return tz.Bias + tz.StandardBias;
    case TIME_ZONE_ID_DAYLIGHT:
      return tz.Bias + tz.DaylightBias;
    default:
      return 0;
  }
}

TEST_F(OpcGroup, GetStateReportsWhatAddGroupSet) {
  ComPtr<IOPCGroupStateMgt> group;
  OPCHANDLE handle = 0;
  DWORD revised = 0;
  LONG bias = 90;
  FLOAT deadband = 12.5f;
  ASSERT_HR(server_->AddGroup(L"Line1", TRUE, 500, 42, &bias, &deadband, 0x407, &handle, &revised,
                              __uuidof(IOPCGroupStateMgt), group.PutUnknown()),
            S_OK);
  GroupState s = StateOf(group.Get());
  ASSERT_HR(s.hr, S_OK);
  EXPECT_EQ(s.rate, 500u);
  EXPECT_TRUE(s.active);
  ASSERT_TRUE(s.nameArrived) << "GetState's [out, string] name came back null";
  EXPECT_EQ(s.name, L"Line1");
  EXPECT_EQ(s.bias, 90);
  EXPECT_EQ(s.deadband, 12.5f);
  EXPECT_EQ(s.lcid, 0x407u);
  EXPECT_EQ(s.client, 42u);
  EXPECT_EQ(s.server, handle);
  EXPECT_NE(handle, 0u);
}

TEST_F(OpcGroup, AddGroupWithoutBiasOrDeadbandUsesTheDefaults) {
  auto group = AddGroup(L"Defaults");
  GroupState s = StateOf(group.Get());
  ASSERT_HR(s.hr, S_OK);
  EXPECT_EQ(s.bias, DefaultTimeBias());
  EXPECT_EQ(s.deadband, 0.0f);
  EXPECT_FALSE(s.active);
}

TEST_F(OpcGroup, SetStateRevisesTheRateLikeAddGroup) {
  auto group = AddGroup(L"Rates");
  DWORD revised = 0;
  DWORD requested = 0;
  EXPECT_HR(group->SetState(&requested, &revised, nullptr, nullptr, nullptr, nullptr, nullptr), OPC_S_UNSUPPORTEDRATE);
  EXPECT_EQ(revised, kServerScanRate);
  EXPECT_EQ(StateOf(group.Get()).rate, kServerScanRate);
  requested = kServerScanRate + 50;
  EXPECT_HR(group->SetState(&requested, &revised, nullptr, nullptr, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(revised, requested);
  // Nothing requested: the current rate is reported.
  revised = 0;
  EXPECT_HR(group->SetState(nullptr, &revised, nullptr, nullptr, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(revised, kServerScanRate + 50);
}

TEST_F(OpcGroup, SetStateChangesTheGivenFieldsOnly) {
  auto group = AddGroup(L"Fields");
  GroupState before = StateOf(group.Get());
  DWORD revised = 0;
  BOOL active = TRUE;
  LONG bias = 30;
  FLOAT deadband = 100.0f;
  LCID lcid = 0x809;
  OPCHANDLE client = 5;
  ASSERT_HR(group->SetState(nullptr, &revised, &active, &bias, &deadband, &lcid, &client), S_OK);
  GroupState s = StateOf(group.Get());
  EXPECT_EQ(s.rate, before.rate);
  EXPECT_EQ(revised, before.rate);
  EXPECT_TRUE(s.active);
  EXPECT_EQ(s.bias, 30);
  EXPECT_EQ(s.deadband, 100.0f);
  EXPECT_EQ(s.lcid, 0x809u);
  EXPECT_EQ(s.client, 5u);
  EXPECT_EQ(s.name, L"Fields");
  EXPECT_EQ(s.server, before.server);

  deadband = 0.0f;
  ASSERT_HR(group->SetState(nullptr, &revised, nullptr, nullptr, &deadband, nullptr, nullptr), S_OK);
  s = StateOf(group.Get());
  EXPECT_EQ(s.deadband, 0.0f);
  EXPECT_TRUE(s.active);
  EXPECT_EQ(s.client, 5u);
}

TEST_F(OpcGroup, SetStateRefusesABadDeadbandAndChangesNothing) {
  auto group = AddGroup(L"Deadband");
  DWORD revised = 0;
  FLOAT set = 12.5f;
  ASSERT_HR(group->SetState(nullptr, &revised, nullptr, nullptr, &set, nullptr, nullptr), S_OK);
  GroupState before = StateOf(group.Get());
  ASSERT_EQ(before.deadband, 12.5f);
  for (FLOAT bad : {-1.0f, -0.5f, -0.1f, 100.5f, std::numeric_limits<FLOAT>::quiet_NaN(),
                    std::numeric_limits<FLOAT>::infinity()}) {
    DWORD rate = 2000, revised = 0;
    BOOL active = TRUE;
    LONG bias = 45;
    LCID lcid = 0x40C;
    OPCHANDLE client = 99;
    EXPECT_HR(group->SetState(&rate, &revised, &active, &bias, &bad, &lcid, &client), E_INVALIDARG) << bad;
    GroupState s = StateOf(group.Get());
    EXPECT_EQ(s.rate, before.rate) << bad;
    EXPECT_EQ(s.active, before.active) << bad;
    EXPECT_EQ(s.bias, before.bias) << bad;
    EXPECT_EQ(s.deadband, before.deadband) << bad;
    EXPECT_EQ(s.lcid, before.lcid) << bad;
    EXPECT_EQ(s.client, before.client) << bad;
  }
}

TEST_F(OpcGroup, SetNameRefusesBlankAndTakenNames) {
  auto group = AddGroup(L"Pumps");
  auto other = AddGroup(L"Valves");
  EXPECT_HR(group->SetName(L"  "), E_INVALIDARG);
  EXPECT_HR(group->SetName(L""), E_INVALIDARG);
  EXPECT_HR(group->SetName(L"PUMPS"), OPC_E_DUPLICATENAME) << "its own name counts";
  EXPECT_HR(group->SetName(L"valves"), OPC_E_DUPLICATENAME);
  EXPECT_EQ(StateOf(group.Get()).name, L"Pumps");

  ASSERT_HR(group->SetName(L"Renamed"), S_OK);
  EXPECT_EQ(StateOf(group.Get()).name, L"Renamed");
  ComPtr<IOPCGroupStateMgt> found;
  ASSERT_HR(server_->GetGroupByName(L"renamed", __uuidof(IOPCGroupStateMgt), found.PutUnknown()), S_OK);
  EXPECT_TRUE(SameObject(found, group));
  EXPECT_HR(server_->GetGroupByName(L"Pumps", IID_IUnknown, found.PutUnknown()), E_INVALIDARG);
  // Renames are not reported to the host.
  const std::string s = "group " + Server() + " ";
  EXPECT_EQ(Lines("group "), (std::vector<std::string>{s + "Pumps 0", s + "Valves 0"}));
}

TEST_F(OpcGroup, CloneGroupCopiesStateAndItemsIntoAnInactiveGroup) {
  ComPtr<IOPCGroupStateMgt> source;
  OPCHANDLE sourceHandle = 0;
  DWORD revised = 0;
  LONG bias = 15;
  FLOAT deadband = 5.0f;
  ASSERT_HR(server_->AddGroup(L"Source", TRUE, 500, 9, &bias, &deadband, 0x407, &sourceHandle, &revised,
                              __uuidof(IOPCGroupStateMgt), source.PutUnknown()),
            S_OK);
  auto sourceItems = source.Query<IOPCItemMgt>();
  ASSERT_TRUE(sourceItems);
  ItemDefs defs;
  defs.Add(L"Tank1.Level", VT_R4, 11, TRUE).Add(L"Tank1.Temp", VT_EMPTY, 12, FALSE).Add(L"Counter", VT_BSTR, 13, TRUE);
  ItemResults added;
  ASSERT_HR(
      sourceItems->AddItems(defs.Count(), defs.Data(), added.results.Put(defs.Count()), added.errors.Put(defs.Count())),
      S_OK);
  DWORD keepAlive = 0;
  ASSERT_HR(source.Query<IOPCGroupStateMgt2>()->SetKeepAlive(2000, &keepAlive), S_OK);

  ComPtr<IOPCGroupStateMgt> clone;
  ASSERT_HR(source->CloneGroup(L"Copy", __uuidof(IOPCGroupStateMgt), clone.PutUnknown()), S_OK);
  ASSERT_TRUE(clone);
  GroupState s = StateOf(clone.Get());
  ASSERT_HR(s.hr, S_OK);
  EXPECT_EQ(s.name, L"Copy");
  EXPECT_EQ(s.rate, 500u);
  EXPECT_FALSE(s.active);
  EXPECT_EQ(s.bias, 15);
  EXPECT_EQ(s.deadband, 5.0f);
  EXPECT_EQ(s.lcid, 0x407u);
  EXPECT_EQ(s.client, 9u);
  EXPECT_NE(s.server, sourceHandle);
  EXPECT_NE(s.server, 0u);
  DWORD cloneKeepAlive = 1;
  EXPECT_HR(clone.Query<IOPCGroupStateMgt2>()->GetKeepAlive(&cloneKeepAlive), S_OK);
  EXPECT_EQ(cloneKeepAlive, 0u) << "keep-alive is not copied";

  auto items = ItemsOf(clone.Query<IOPCItemMgt>().Get());
  ASSERT_EQ(items.size(), 3u);
  const std::wstring ids[] = {L"Tank1.Level", L"Tank1.Temp", L"Counter"};
  const OPCHANDLE clients[] = {11, 12, 13};
  const BOOL actives[] = {TRUE, FALSE, TRUE};
  const VARTYPE requested[] = {VT_R4, VT_EMPTY, VT_BSTR};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(items[i].itemId, ids[i]);
    EXPECT_EQ(items[i].client, clients[i]);
    EXPECT_EQ(bool(items[i].active), bool(actives[i]));
    EXPECT_EQ(items[i].requested, requested[i]);
    EXPECT_NE(items[i].server, 0u);
    for (DWORD j = 0; j < 3; ++j) EXPECT_NE(items[i].server, added.results[j].hServer) << "a new item, " << i;
  }
  const std::string g = "group " + Server() + " ", it = "item " + Server() + " ";
  EXPECT_EQ(Lines("group "), (std::vector<std::string>{g + "Source 0", g + "Copy 0"}));
  EXPECT_EQ(Lines("item "), (std::vector<std::string>{it + "Tank1.Level 0", it + "Tank1.Temp 0", it + "Counter 0",
                                                       it + "Tank1.Level 0", it + "Tank1.Temp 0", it + "Counter 0"}));
  EXPECT_EQ(GroupCount(server_.Get()), 2u);
}

TEST_F(OpcGroup, CloneGroupWithATakenNameOrAMissingInterfaceCreatesNothing) {
  auto source = AddGroup(L"Source");
  ComPtr<IUnknown> clone;
  EXPECT_HR(source->CloneGroup(L"SOURCE", IID_IUnknown, clone.PutUnknown()), OPC_E_DUPLICATENAME);
  EXPECT_FALSE(clone);
  EXPECT_HR(source->CloneGroup(L"Other", __uuidof(IOPCServer), clone.PutUnknown()), E_NOINTERFACE);
  EXPECT_FALSE(clone);
  EXPECT_EQ(GroupCount(server_.Get()), 1u);
  EXPECT_EQ(Lines("group ").size(), 1u);

  // An empty name lets the server choose one.
  ComPtr<IOPCGroupStateMgt> named;
  ASSERT_HR(source->CloneGroup(L"", __uuidof(IOPCGroupStateMgt), named.PutUnknown()), S_OK);
  std::wstring name = StateOf(named.Get()).name;
  EXPECT_EQ(name.rfind(L"OPCGROUP", 0), 0u) << Narrow(name.c_str());
  EXPECT_EQ(Lines("group ").back(), "group " + Server() + " " + Narrow(name.c_str()) + " 0");
}

TEST_F(OpcGroup, KeepAliveIsRaisedToTheUpdateRateOnceSet) {
  auto group = AddGroup(L"Alive").Query<IOPCGroupStateMgt2>();
  ASSERT_TRUE(group);
  DWORD keepAlive = 1;
  EXPECT_HR(group->GetKeepAlive(&keepAlive), S_OK);
  EXPECT_EQ(keepAlive, 0u);
  DWORD revised = 1;
  EXPECT_HR(group->SetKeepAlive(0, &revised), S_OK);
  EXPECT_EQ(revised, 0u);
  EXPECT_HR(group->SetKeepAlive(500, &revised), OPC_S_UNSUPPORTEDRATE);
  EXPECT_EQ(revised, 1000u);
  EXPECT_HR(group->GetKeepAlive(&keepAlive), S_OK);
  EXPECT_EQ(keepAlive, 1000u);
  EXPECT_HR(group->SetKeepAlive(3000, &revised), S_OK);
  EXPECT_EQ(revised, 3000u);
  EXPECT_HR(group->SetKeepAlive(0, &revised), OPC_S_UNSUPPORTEDRATE);
  EXPECT_EQ(revised, 1000u);
}

TEST_F(OpcGroup, QueryInterfaceServesExactlyTheGroupInterfaces) {
  auto group = AddGroup(L"Faces");
  const IID supported[] = {IID_IUnknown,
                           __uuidof(IOPCGroupStateMgt),
                           __uuidof(IOPCGroupStateMgt2),
                           __uuidof(IOPCPublicGroupStateMgt),
                           __uuidof(IOPCItemMgt),
                           IID_IConnectionPointContainer};
  for (const IID& iid : supported) {
    ComPtr<IUnknown> p;
    EXPECT_HR(group->QueryInterface(iid, p.PutVoid()), S_OK);
    EXPECT_TRUE(SameObject(p, group));
  }
  // Interfaces of the server object, of sinks and of enumerators.
  const IID never[] = {__uuidof(IOPCServer),
                       __uuidof(IOPCCommon),
                       __uuidof(IOPCBrowse),
                       __uuidof(IOPCBrowseServerAddressSpace),
                       __uuidof(IOPCServerPublicGroups),
                       __uuidof(IOPCItemProperties),
                       __uuidof(IOPCItemIO),
                       __uuidof(IOPCShutdown),
                       __uuidof(IOPCDataCallback),
                       __uuidof(IEnumOPCItemAttributes)};
  for (const IID& iid : never) {
    ComPtr<IUnknown> p;
    EXPECT_HR(group->QueryInterface(iid, p.PutVoid()), E_NOINTERFACE);
    EXPECT_FALSE(p);
  }
  // AddGroup can hand out any of them directly.
  ComPtr<IUnknown> direct;
  OPCHANDLE handle = 0;
  DWORD revised = 0;
  EXPECT_HR(server_->AddGroup(L"Direct", FALSE, 1000, 0, nullptr, nullptr, 0, &handle, &revised,
                              IID_IConnectionPointContainer, direct.PutUnknown()),
            S_OK);
  EXPECT_TRUE(direct.Query<IOPCItemMgt>());
}

TEST_F(OpcGroup, MoveToPublicTakesTheGroupOutOfThePrivateList) {
  OPCHANDLE handle = 0;
  auto group = AddGroup(server_.Get(), L"Shared", &handle);
  auto keep = AddGroup(L"Private");
  auto pub = group.Query<IOPCPublicGroupStateMgt>();
  ASSERT_TRUE(pub);
  BOOL isPublic = TRUE;
  ASSERT_HR(pub->GetState(&isPublic), S_OK);
  EXPECT_FALSE(isPublic);
  ASSERT_HR(pub->MoveToPublic(), S_OK);
  ASSERT_HR(pub->GetState(&isPublic), S_OK);
  EXPECT_TRUE(isPublic);

  ComPtr<IEnumString> names;
  ASSERT_HR(server_->CreateGroupEnumerator(OPC_ENUM_PRIVATE, IID_IEnumString, names.PutUnknown()), S_OK);
  EXPECT_EQ(ReadAll(names.Get()).strings, std::vector<std::wstring>{L"Private"});
  ASSERT_HR(server_->CreateGroupEnumerator(OPC_ENUM_PUBLIC, IID_IEnumString, names.PutUnknown()), S_OK);
  EXPECT_EQ(ReadAll(names.Get()).strings, std::vector<std::wstring>{L"Shared"});
  EXPECT_EQ(GroupCount(server_.Get()), 1u);
  ComPtr<IUnknown> none;
  EXPECT_HR(server_->GetGroupByName(L"Shared", IID_IUnknown, none.PutUnknown()), E_INVALIDARG);
  EXPECT_HR(server_->RemoveGroup(handle, TRUE), E_INVALIDARG) << "public groups are not removed as private ones";
  // Private names are checked against private groups only.
  EXPECT_TRUE(AddGroup(L"Shared"));
  // The public group still works for its client.
  EXPECT_EQ(StateOf(group.Get()).name, L"Shared");
}

TEST_F(OpcGroup, AGroupOutlivingItsServerObjectLeavesTheHostSound) {
  auto client = Connect();
  auto group = AddGroup(client.Get(), L"Orphan");
  auto items = group.Query<IOPCItemMgt>();
  ASSERT_TRUE(items);
  const std::string handle = ServerHandles().at(1);
  client.Reset();
  ASSERT_TRUE(host_->WaitForEvent("server " + handle + " 1", 5000));

  // Whatever these answer, none may reach the destroyed server object.
  ComPtr<IUnknown> clone;
  HRESULT answers[] = {group->SetName(L"Renamed"), group->CloneGroup(L"Clone", IID_IUnknown, clone.PutUnknown()),
                       StateOf(group.Get()).hr};
  ItemDefs defs;
  defs.Add(L"Counter");
  ItemResults added;
  HRESULT addItems =
      items->AddItems(defs.Count(), defs.Data(), added.results.Put(defs.Count()), added.errors.Put(defs.Count()));
  for (HRESULT hr : answers) EXPECT_NE(hr, RPC_E_SERVERFAULT) << HrName(hr);
  EXPECT_NE(addItems, RPC_E_SERVERFAULT);
  clone.Reset();
  items.Reset();
  group.Reset();
  EXPECT_TRUE(host_->Running());
  EXPECT_EQ(GroupCount(server_.Get()), 0u);
}

TEST_F(GroupConnectionPoint, ContainerHoldsExactlyTheDataCallbackPoint) {
  auto group = AddGroup(L"Callbacks");
  auto container = group.Query<IConnectionPointContainer>();
  ASSERT_TRUE(container);
  ComPtr<IEnumConnectionPoints> points;
  ASSERT_HR(container->EnumConnectionPoints(points.Put()), S_OK);
  IConnectionPoint* got[2] = {};
  ULONG fetched = 0;
  points->Next(2, got, &fetched);
  ASSERT_EQ(fetched, 1u);
  auto listed = ComPtr<IConnectionPoint>::Attach(got[0]);
  IID iid{};
  ASSERT_HR(listed->GetConnectionInterface(&iid), S_OK);
  EXPECT_TRUE(iid == IID_IOPCDataCallback);

  ComPtr<IConnectionPoint> point;
  ASSERT_HR(container->FindConnectionPoint(IID_IOPCDataCallback, point.Put()), S_OK);
  ComPtr<IConnectionPointContainer> back;
  ASSERT_HR(point->GetConnectionPointContainer(back.Put()), S_OK);
  EXPECT_TRUE(SameObject(back, group));

  ComPtr<IConnectionPoint> none;
  EXPECT_HR(container->FindConnectionPoint(IID_IOPCShutdown, none.Put()), CONNECT_E_NOCONNECTION);
  EXPECT_FALSE(none);
  EXPECT_HR(container->FindConnectionPoint(IID_IAdviseSink, none.Put()), CONNECT_E_NOCONNECTION);
}

TEST_F(GroupConnectionPoint, RefusesASinkWithoutTheDataCallbackInterface) {
  auto group = AddGroup(L"Callbacks");
  ComPtr<IConnectionPoint> point;
  ASSERT_HR(group.Query<IConnectionPointContainer>()->FindConnectionPoint(IID_IOPCDataCallback, point.Put()), S_OK);
  // The server asks each sink for the interface through our own QueryInterface.
  const ComPtr<IUnknown> wrong[] = {MakeCom<BareUnknown>().Query<IUnknown>(),
                                    MakeCom<ShutdownSink>().Query<IUnknown>()};
  for (const auto& sink : wrong) {
    DWORD cookie = 99;
    EXPECT_HR(point->Advise(sink.Get(), &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);
    // Asynchronous IO answers as for a group without a callback.
    BOOL enabled = FALSE;
    EXPECT_HR(group.Query<IOPCAsyncIO2>()->GetEnable(&enabled), CONNECT_E_NOCONNECTION);
  }
  auto right = MakeCom<DataCallbackSink>();
  DWORD cookie = 0;
  ASSERT_HR(point->Advise(right.Get(), &cookie), S_OK);
  BOOL enabled = FALSE;
  EXPECT_HR(group.Query<IOPCAsyncIO2>()->GetEnable(&enabled), S_OK);
  EXPECT_HR(point->Unadvise(cookie), S_OK);
}

TEST_F(GroupConnectionPoint, TakesOneCallbackAtATime) {
  auto group = AddGroup(L"Callbacks");
  ComPtr<IConnectionPoint> point;
  ASSERT_HR(group.Query<IConnectionPointContainer>()->FindConnectionPoint(IID_IOPCDataCallback, point.Put()), S_OK);
  auto first = MakeCom<DataCallbackSink>();
  auto second = MakeCom<DataCallbackSink>();
  DWORD cookie = 0, other = 0;
  ASSERT_HR(point->Advise(first.Get(), &cookie), S_OK);
  EXPECT_NE(cookie, 0u);
  EXPECT_HR(point->Advise(second.Get(), &other), CONNECT_E_CANNOTCONNECT);
  EXPECT_HR(point->Unadvise(cookie + 1), CONNECT_E_NOCONNECTION);
  EXPECT_HR(point->Unadvise(cookie), S_OK);
  EXPECT_HR(point->Advise(second.Get(), &other), S_OK);
  EXPECT_HR(point->Unadvise(other), S_OK);
  EXPECT_HR(point->Unadvise(other), CONNECT_E_NOCONNECTION);
  // An inactive group without items has nothing to send.
  EXPECT_EQ(first->calls, 0);
  EXPECT_EQ(second->calls, 0);
}

// Everything a client may hold of a group, taken before the group is removed.
struct HeldGroup {
  ComPtr<IOPCGroupStateMgt> state;
  ComPtr<IOPCGroupStateMgt2> state2;
  ComPtr<IOPCPublicGroupStateMgt> pub;
  ComPtr<IOPCItemMgt> items;
  OPCHANDLE handle = 0, item = 0;
};

class RemovedGroup : public GroupFixture {
 protected:
  HeldGroup Hold(const wchar_t* name) {
    HeldGroup g;
    g.state = AddGroup(server_.Get(), name, &g.handle);
    g.state2 = g.state.Query<IOPCGroupStateMgt2>();
    g.pub = g.state.Query<IOPCPublicGroupStateMgt>();
    g.items = g.state.Query<IOPCItemMgt>();
    EXPECT_TRUE(g.state2 && g.pub && g.items);
    ItemDefs defs;
    defs.Add(L"Counter");
    ItemResults added;
    EXPECT_HR(
        g.items->AddItems(defs.Count(), defs.Data(), added.results.Put(defs.Count()), added.errors.Put(defs.Count())),
        S_OK);
    if (added.results.Get()) g.item = added.results[0].hServer;
    DWORD revised = 0;
    EXPECT_HR(g.state2->SetKeepAlive(4000, &revised), S_OK);
    return g;
  }

  // Every state and item method answers E_FAIL and changes nothing; the
  // keep-alive and the public flag still answer.
  void ExpectOnlyEFail(HeldGroup& g) {
    GroupState s = StateOf(g.state.Get());
    EXPECT_HR(s.hr, E_FAIL) << "GetState";
    DWORD rate = 2000, revised = 0;
    EXPECT_HR(g.state->SetState(&rate, &revised, nullptr, nullptr, nullptr, nullptr, nullptr), E_FAIL);
    EXPECT_HR(g.state->SetName(L"Another"), E_FAIL);
    ComPtr<IUnknown> clone;
    EXPECT_HR(g.state->CloneGroup(L"Clone", IID_IUnknown, clone.PutUnknown()), E_FAIL);
    EXPECT_FALSE(clone);

    ItemDefs defs;
    defs.Add(L"Tank1.Level");
    {
      ItemResults r;
      EXPECT_HR(g.items->AddItems(defs.Count(), defs.Data(), r.results.Put(defs.Count()), r.errors.Put(defs.Count())),
                E_FAIL);
      EXPECT_EQ(r.results.Get(), nullptr);
      EXPECT_EQ(r.errors.Get(), nullptr);
    }
    {
      ItemResults r;
      EXPECT_HR(g.items->ValidateItems(defs.Count(), defs.Data(), FALSE, r.results.Put(defs.Count()),
                                       r.errors.Put(defs.Count())),
                E_FAIL);
      EXPECT_EQ(r.results.Get(), nullptr);
    }
    OPCHANDLE handles[] = {g.item};
    {
      TaskMem<HRESULT> e;
      EXPECT_HR(g.items->SetActiveState(1, handles, FALSE, e.Put(1)), E_FAIL);
      EXPECT_EQ(e.Get(), nullptr);
    }
    {
      TaskMem<HRESULT> e;
      OPCHANDLE clients[] = {7};
      EXPECT_HR(g.items->SetClientHandles(1, handles, clients, e.Put(1)), E_FAIL);
    }
    {
      TaskMem<HRESULT> e;
      VARTYPE types[] = {VT_R8};
      EXPECT_HR(g.items->SetDatatypes(1, handles, types, e.Put(1)), E_FAIL);
    }
    {
      TaskMem<HRESULT> e;
      EXPECT_HR(g.items->RemoveItems(1, handles, e.Put(1)), E_FAIL);
    }
    ComPtr<IUnknown> e;
    EXPECT_HR(g.items->CreateEnumerator(__uuidof(IEnumOPCItemAttributes), e.PutUnknown()), E_FAIL);
    EXPECT_FALSE(e);

    DWORD keepAlive = 0;
    EXPECT_HR(g.state2->GetKeepAlive(&keepAlive), S_OK);
    EXPECT_EQ(keepAlive, 4000u);
    BOOL isPublic = TRUE;
    EXPECT_HR(g.pub->GetState(&isPublic), S_OK);
    EXPECT_FALSE(isPublic);

    // Nothing reached the host: only the item added before the removal.
    EXPECT_EQ(Lines("item "), std::vector<std::string>{"item " + Server() + " Counter 0"});
    EXPECT_EQ(Lines("group ").back(), "group " + Server() + " Doomed 1");
  }
};

TEST_F(RemovedGroup, InUseGroupAnswersEFailUntilReleased) {
  HeldGroup g = Hold(L"Doomed");
  ASSERT_HR(server_->RemoveGroup(g.handle, FALSE), OPC_S_INUSE);
  ExpectOnlyEFail(g);
  g = HeldGroup{};
  EXPECT_EQ(GroupCount(server_.Get()), 0u);
  EXPECT_TRUE(AddGroup(L"Doomed"));
}

TEST_F(RemovedGroup, ForcedRemovalLeavesTheClientOnlyEFail) {
  HeldGroup g = Hold(L"Doomed");
  ASSERT_HR(server_->RemoveGroup(g.handle, TRUE), S_OK);
  ExpectOnlyEFail(g);
  g = HeldGroup{};
  EXPECT_EQ(GroupCount(server_.Get()), 0u);
}

}  // namespace
}  // namespace e2e
