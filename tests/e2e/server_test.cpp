// The server object seen by an out-of-process client: IOPCServer, IOPCCommon,
// the IOPCShutdown connection point and what the host is told meanwhile.
#include <algorithm>
#include <limits>

#include "opc_client.h"

namespace e2e {
namespace {

class OpcServer : public HostedServer {};
class OpcCommon : public HostedServer {};
class ShutdownPoint : public HostedServer {};

ULONGLONG Ticks(const FILETIME& t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; }
ULONGLONG Now() {
  FILETIME t;
  GetSystemTimeAsFileTime(&t);
  return Ticks(t);
}
constexpr ULONGLONG kSecond = 10'000'000;  // FILETIME ticks

struct Status {
  explicit Status(IOPCServer* server) : hr(server->GetStatus(status.Put())) {}
  TaskPtr<OPCSERVERSTATUS> status;
  HRESULT hr;
};

bool IsGeneratedName(const std::wstring& name) {
  const std::wstring prefix = L"OPCGROUP";
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
  for (size_t i = prefix.size(); i < name.size(); ++i)
    if (name[i] < L'0' || name[i] > L'9') return false;
  return true;
}

ComPtr<IUnknown> Enumerator(IOPCServer* server, OPCENUMSCOPE scope, REFIID riid, HRESULT expected) {
  ComPtr<IUnknown> e;
  EXPECT_HR(server->CreateGroupEnumerator(scope, riid, e.PutUnknown()), expected) << "scope " << scope;
  return e;
}

std::vector<std::wstring> NamesByString(IOPCServer* server, OPCENUMSCOPE scope, HRESULT expected) {
  auto e = Enumerator(server, scope, IID_IEnumString, expected).Query<IEnumString>();
  if (!e) return {L"<no enumerator>"};
  return ReadAll(e.Get()).strings;
}

std::vector<std::wstring> NamesByObject(IOPCServer* server, OPCENUMSCOPE scope, HRESULT expected) {
  auto e = Enumerator(server, scope, IID_IEnumUnknown, expected).Query<IEnumUnknown>();
  if (!e) return {L"<no enumerator>"};
  std::vector<std::wstring> names;
  for (auto& o : ReadAll(e.Get()).objects) {
    auto g = o.Query<IOPCGroupStateMgt>();
    names.push_back(g ? NameOf(g.Get()) : L"<not a group>");
  }
  return names;
}

std::wstring ErrorString(IOPCServer* server, HRESULT code, LCID lcid) {
  TaskString text;
  HRESULT hr = server->GetErrorString(code, lcid, text.Put());
  EXPECT_HR(hr, S_OK);
  return text ? text.Get() : L"<null>";
}

std::wstring ErrorString(IOPCCommon* common, HRESULT code) {
  TaskString text;
  HRESULT hr = common->GetErrorString(code, text.Put());
  EXPECT_HR(hr, S_OK);
  return text ? text.Get() : L"<null>";
}

TEST_F(OpcServer, AddGroupHandsOutTheGroupAndTellsTheHost) {
  ComPtr<IOPCGroupStateMgt> group;
  OPCHANDLE handle = 0;
  DWORD revised = 0;
  LONG bias = -60;
  FLOAT deadband = 2.5f;
  ASSERT_HR(server_->AddGroup(L"Boilers", TRUE, 1000, 77, &bias, &deadband, 0x409, &handle, &revised,
                              __uuidof(IOPCGroupStateMgt), group.PutUnknown()),
            S_OK);
  ASSERT_TRUE(group);
  EXPECT_NE(handle, 0u);
  EXPECT_EQ(revised, 1000u);
  EXPECT_EQ(Lines("group "), std::vector<std::string>{"group " + Server() + " Boilers 0"});
  EXPECT_EQ(GroupCount(server_.Get()), 1u);
}

TEST_F(OpcServer, RequestedRatesAreRevisedUpToTheScanRate) {
  const struct {
    DWORD requested, revised;
    HRESULT result;
  } cases[] = {{0, kServerScanRate, OPC_S_UNSUPPORTEDRATE},
               {1, kServerScanRate, OPC_S_UNSUPPORTEDRATE},
               {kServerScanRate - 1, kServerScanRate, OPC_S_UNSUPPORTEDRATE},
               {kServerScanRate, kServerScanRate, S_OK},
               {kServerScanRate + 50, kServerScanRate + 50, S_OK},
               {0xFFFFFFFF, 0xFFFFFFFF, S_OK}};
  int n = 0;
  for (const auto& c : cases) {
    std::wstring name = L"Rate" + std::to_wstring(++n);
    ComPtr<IOPCGroupStateMgt> group;
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    EXPECT_HR(server_->AddGroup(name.c_str(), FALSE, c.requested, 0, nullptr, nullptr, 0, &handle, &revised,
                                __uuidof(IOPCGroupStateMgt), group.PutUnknown()),
              c.result)
        << "requested " << c.requested;
    EXPECT_EQ(revised, c.revised) << "requested " << c.requested;
    EXPECT_TRUE(group);
  }
  // A revised rate is no failure: every group exists and was reported.
  EXPECT_EQ(Lines("group ").size(), std::size(cases));
  EXPECT_EQ(GroupCount(server_.Get()), std::size(cases));
}

TEST_F(OpcServer, EmptyNamesGetDistinctGeneratedNames) {
  auto first = AddGroup(L"");
  auto second = AddGroup(L"");
  ASSERT_TRUE(first && second);
  std::wstring a = NameOf(first.Get()), b = NameOf(second.Get());
  EXPECT_TRUE(IsGeneratedName(a)) << Narrow(a.c_str());
  EXPECT_TRUE(IsGeneratedName(b)) << Narrow(b.c_str());
  EXPECT_NE(a, b);
  EXPECT_EQ(Lines("group "), (std::vector<std::string>{"group " + Server() + " " + Narrow(a.c_str()) + " 0",
                                                       "group " + Server() + " " + Narrow(b.c_str()) + " 0"}));
}

TEST_F(OpcServer, DuplicateNamesAreRefusedWithinOneServerObjectOnly) {
  ASSERT_TRUE(AddGroup(L"Group1"));
  ComPtr<IOPCGroupStateMgt> duplicate;
  OPCHANDLE handle = 0;
  DWORD revised = 0;
  EXPECT_HR(server_->AddGroup(L"GROUP1", FALSE, 1000, 0, nullptr, nullptr, 0, &handle, &revised,
                              __uuidof(IOPCGroupStateMgt), duplicate.PutUnknown()),
            OPC_E_DUPLICATENAME);
  EXPECT_FALSE(duplicate);
  EXPECT_EQ(GroupCount(server_.Get()), 1u);
  EXPECT_EQ(Lines("group ").size(), 1u);

  auto other = Connect();
  ASSERT_TRUE(other);
  EXPECT_TRUE(AddGroup(other.Get(), L"GROUP1"));
  EXPECT_EQ(Lines("group ").back(), "group " + ServerHandles().at(1) + " GROUP1 0");
}

TEST_F(OpcServer, AddGroupForAnInterfaceGroupsLackCreatesNothing) {
  ComPtr<IUnknown> unk;
  OPCHANDLE handle = 0;
  DWORD revised = 0;
  EXPECT_HR(server_->AddGroup(L"Wrong", FALSE, 1000, 0, nullptr, nullptr, 0, &handle, &revised,
                              __uuidof(IOPCServer), unk.PutUnknown()),
            E_NOINTERFACE);
  EXPECT_FALSE(unk);
  EXPECT_TRUE(Lines("group ").empty());
  EXPECT_EQ(GroupCount(server_.Get()), 0u);
  // The name did not stay taken.
  EXPECT_TRUE(AddGroup(L"Wrong"));
}

TEST_F(OpcServer, AddGroupRefusesABadPercentDeadbandAndCreatesNothing) {
  int n = 0;
  for (FLOAT bad : {-1.0f, -0.5f, 100.5f, std::numeric_limits<FLOAT>::quiet_NaN(),
                    std::numeric_limits<FLOAT>::infinity()}) {
    std::wstring name = L"Banded" + std::to_wstring(++n);
    ComPtr<IUnknown> group;
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    EXPECT_HR(server_->AddGroup(name.c_str(), TRUE, 1000, 0, nullptr, &bad, 0, &handle, &revised,
                                __uuidof(IOPCGroupStateMgt), group.PutUnknown()),
              E_INVALIDARG)
        << bad;
    EXPECT_FALSE(group) << bad;
  }
  EXPECT_EQ(GroupCount(server_.Get()), 0u);
  EXPECT_TRUE(Lines("group ").empty());
  // The limits themselves are valid, and the names were never taken.
  n = 0;
  for (FLOAT limit : {0.0f, 100.0f}) {
    std::wstring name = L"Banded" + std::to_wstring(++n);
    ComPtr<IUnknown> group;
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    EXPECT_HR(server_->AddGroup(name.c_str(), TRUE, 1000, 0, nullptr, &limit, 0, &handle, &revised,
                                __uuidof(IOPCGroupStateMgt), group.PutUnknown()),
              S_OK)
        << limit;
    EXPECT_TRUE(group) << limit;
  }
  EXPECT_EQ(GroupCount(server_.Get()), 2u);
}

TEST_F(OpcServer, GetGroupByNameFindsPrivateGroupsIgnoringCase) {
  auto group = AddGroup(L"Mixers");
  ComPtr<IOPCItemMgt> found;
  ASSERT_HR(server_->GetGroupByName(L"MIXERS", __uuidof(IOPCItemMgt), found.PutUnknown()), S_OK);
  EXPECT_TRUE(SameObject(found, group));

  ComPtr<IUnknown> none;
  EXPECT_HR(server_->GetGroupByName(L"Nope", IID_IUnknown, none.PutUnknown()), E_INVALIDARG);
  EXPECT_FALSE(none);
  EXPECT_HR(server_->GetGroupByName(L"", IID_IUnknown, none.PutUnknown()), E_INVALIDARG);
  EXPECT_HR(server_->GetGroupByName(L"mixers", __uuidof(IOPCServer), none.PutUnknown()), E_NOINTERFACE);
  EXPECT_FALSE(none);

  // Another client's groups are not this server's.
  auto other = Connect();
  EXPECT_HR(other->GetGroupByName(L"Mixers", IID_IUnknown, none.PutUnknown()), E_INVALIDARG);
}

TEST_F(OpcServer, StatusOfAFreshConnectionAndItsGroupCount) {
  const ULONGLONG before = Now();
  auto client = Connect();
  const ULONGLONG after = Now();
  ASSERT_TRUE(client);
  {
    Status s(client.Get());
    ASSERT_HR(s.hr, S_OK);
    ASSERT_NE(s.status.Get(), nullptr);
    const OPCSERVERSTATUS& st = *s.status.Get();
    EXPECT_EQ(st.dwServerState, OPC_STATUS_RUNNING);
    EXPECT_EQ(st.dwGroupCount, 0u);
    EXPECT_EQ(st.dwBandWidth, 0u);
    EXPECT_EQ(Ticks(st.ftLastUpdateTime), 0u);
    EXPECT_GE(Ticks(st.ftStartTime) + kSecond, before);
    EXPECT_LE(Ticks(st.ftStartTime), after + kSecond);
    EXPECT_GE(Ticks(st.ftCurrentTime), Ticks(st.ftStartTime));
    EXPECT_LE(Ticks(st.ftCurrentTime), Now() + kSecond);
    EXPECT_EQ(st.wMajorVersion, 1);
    EXPECT_EQ(st.wMinorVersion, 0);
    EXPECT_EQ(st.wBuildNumber, 0);
    EXPECT_EQ(st.wReserved, 0);
    EXPECT_EQ(Narrow(st.szVendorInfo), "Vantorix co.ltd");
  }
  auto a = AddGroup(client.Get(), L"A");
  auto b = AddGroup(client.Get(), L"B");
  EXPECT_EQ(GroupCount(client.Get()), 2u);
  // Counts are per server object.
  EXPECT_EQ(GroupCount(server_.Get()), 0u);
}

TEST_F(OpcServer, VendorInfoChangesAtOnceVersionOnlyForNewConnections) {
  ASSERT_TRUE(host_->Command("version AcmeLabs 3 4 5"));
  {
    Status s(server_.Get());
    ASSERT_HR(s.hr, S_OK);
    EXPECT_EQ(Narrow(s.status->szVendorInfo), "AcmeLabs");
    EXPECT_EQ(s.status->wMajorVersion, 1);
    EXPECT_EQ(s.status->wMinorVersion, 0);
    EXPECT_EQ(s.status->wBuildNumber, 0);
  }
  auto late = Connect();
  Status s(late.Get());
  ASSERT_HR(s.hr, S_OK);
  EXPECT_EQ(Narrow(s.status->szVendorInfo), "AcmeLabs");
  EXPECT_EQ(s.status->wMajorVersion, 3);
  EXPECT_EQ(s.status->wMinorVersion, 4);
  EXPECT_EQ(s.status->wBuildNumber, 5);
}

TEST_F(OpcServer, ServerStateIsSetForExistingConnectionsOnly) {
  ASSERT_TRUE(host_->Command("state 4"));
  {
    Status s(server_.Get());
    ASSERT_HR(s.hr, S_OK);
    EXPECT_EQ(s.status->dwServerState, OPC_STATUS_SUSPENDED);
  }
  auto late = Connect();
  Status s(late.Get());
  ASSERT_HR(s.hr, S_OK);
  EXPECT_EQ(s.status->dwServerState, OPC_STATUS_RUNNING);
}

TEST_F(OpcServer, RemoveGroupOfAReleasedGroupDestroysIt) {
  OPCHANDLE handle = 0;
  AddGroup(L"Temp", &handle);  // released at once
  EXPECT_HR(server_->RemoveGroup(handle, FALSE), S_OK);
  EXPECT_EQ(Lines("group "), (std::vector<std::string>{"group " + Server() + " Temp 0",
                                                       "group " + Server() + " Temp 1"}));
  EXPECT_EQ(GroupCount(server_.Get()), 0u);
  ComPtr<IUnknown> none;
  EXPECT_HR(server_->GetGroupByName(L"Temp", IID_IUnknown, none.PutUnknown()), E_INVALIDARG);
  EXPECT_HR(server_->RemoveGroup(handle, FALSE), E_INVALIDARG);
  EXPECT_EQ(Lines("group ").size(), 2u);
}

TEST_F(OpcServer, RemoveGroupOfAHeldGroupAnswersInUse) {
  OPCHANDLE handle = 0;
  auto held = AddGroup(L"Held", &handle);
  EXPECT_HR(server_->RemoveGroup(handle, FALSE), OPC_S_INUSE);
  EXPECT_EQ(Lines("group ").back(), "group " + Server() + " Held 1");
  EXPECT_EQ(GroupCount(server_.Get()), 0u);
  EXPECT_TRUE(NamesByString(server_.Get(), OPC_ENUM_ALL, S_FALSE).empty());
  ComPtr<IUnknown> none;
  EXPECT_HR(server_->GetGroupByName(L"Held", IID_IUnknown, none.PutUnknown()), E_INVALIDARG);
  EXPECT_HR(server_->RemoveGroup(handle, FALSE), E_INVALIDARG);
  // The name is free again while the old group still lives.
  EXPECT_TRUE(AddGroup(L"Held"));
  held.Reset();
  EXPECT_EQ(GroupCount(server_.Get()), 1u);
}

TEST_F(OpcServer, ForcedRemoveGroupSucceedsWhileHeld) {
  OPCHANDLE handle = 0;
  auto held = AddGroup(L"Forced", &handle);
  EXPECT_HR(server_->RemoveGroup(handle, TRUE), S_OK);
  EXPECT_EQ(Lines("group ").back(), "group " + Server() + " Forced 1");
  EXPECT_EQ(GroupCount(server_.Get()), 0u);
  EXPECT_HR(server_->RemoveGroup(handle, TRUE), E_INVALIDARG);
}

TEST_F(OpcServer, RemoveGroupWithAForeignHandleIsInvalid) {
  auto other = Connect();
  OPCHANDLE foreign = 0;
  auto theirs = AddGroup(other.Get(), L"Theirs", &foreign);
  auto ours = AddGroup(L"Ours");
  for (OPCHANDLE h : {OPCHANDLE(0), OPCHANDLE(0x12345678), foreign})
    EXPECT_HR(server_->RemoveGroup(h, TRUE), E_INVALIDARG) << "handle " << h;
  EXPECT_EQ(Lines("group ").size(), 2u);
  EXPECT_EQ(GroupCount(other.Get()), 1u);
  EXPECT_EQ(GroupCount(server_.Get()), 1u);
}

TEST_F(OpcServer, HostHearsOfGroupsInCallOrder) {
  OPCHANDLE a = 0, b = 0, c = 0;
  auto groupA = AddGroup(L"A", &a);
  AddGroup(L"B", &b);  // released at once
  auto groupC = AddGroup(L"C", &c);
  EXPECT_HR(server_->RemoveGroup(b, FALSE), S_OK);
  EXPECT_HR(server_->RemoveGroup(a, TRUE), S_OK);
  EXPECT_HR(server_->RemoveGroup(c, FALSE), OPC_S_INUSE);
  groupA.Reset();
  groupC.Reset();
  EXPECT_EQ(GroupCount(server_.Get()), 0u);  // a round trip after the releases
  const std::string s = "group " + Server() + " ";
  EXPECT_EQ(Lines("group "), (std::vector<std::string>{s + "A 0", s + "B 0", s + "C 0", s + "B 1", s + "A 1",
                                                       s + "C 1"}));
}

TEST_F(OpcServer, GroupEnumerationOfAServerWithoutGroupsIsEmpty) {
  for (int scope = OPC_ENUM_PRIVATE_CONNECTIONS; scope <= OPC_ENUM_ALL; ++scope) {
    auto strings = Enumerator(server_.Get(), OPCENUMSCOPE(scope), IID_IEnumString, S_FALSE).Query<IEnumString>();
    ASSERT_TRUE(strings) << "scope " << scope;
    Enumerated names = ReadAll(strings.Get());
    EXPECT_TRUE(names.strings.empty());
    EXPECT_HR(names.last, HRESULT(1781)) << "Next past the end, scope " << scope;

    auto objects = Enumerator(server_.Get(), OPCENUMSCOPE(scope), IID_IEnumUnknown, S_FALSE).Query<IEnumUnknown>();
    ASSERT_TRUE(objects) << "scope " << scope;
    Enumerated groups = ReadAll(objects.Get());
    EXPECT_TRUE(groups.objects.empty());
    EXPECT_HR(groups.last, HRESULT(1781)) << "Next past the end, scope " << scope;
  }
}

TEST_F(OpcServer, GroupEnumerationScopesSeparatePrivateAndPublicGroups) {
  auto alpha = AddGroup(L"Alpha");
  auto beta = AddGroup(L"Beta");
  auto gamma = AddGroup(L"Gamma");
  auto pub = beta.Query<IOPCPublicGroupStateMgt>();
  ASSERT_TRUE(pub);
  ASSERT_HR(pub->MoveToPublic(), S_OK);

  const std::vector<std::wstring> priv{L"Alpha", L"Gamma"}, publ{L"Beta"}, all{L"Alpha", L"Gamma", L"Beta"};
  for (auto [scope, names] : {std::pair{OPC_ENUM_PRIVATE_CONNECTIONS, priv}, std::pair{OPC_ENUM_PRIVATE, priv},
                              std::pair{OPC_ENUM_PUBLIC_CONNECTIONS, publ}, std::pair{OPC_ENUM_PUBLIC, publ},
                              std::pair{OPC_ENUM_ALL_CONNECTIONS, all}, std::pair{OPC_ENUM_ALL, all}}) {
    EXPECT_EQ(NamesByString(server_.Get(), scope, S_OK), names) << "IEnumString, scope " << scope;
    EXPECT_EQ(NamesByObject(server_.Get(), scope, S_OK), names) << "IEnumUnknown, scope " << scope;
  }
  // Public groups belong to every client.
  auto other = Connect();
  EXPECT_TRUE(NamesByString(other.Get(), OPC_ENUM_PRIVATE, S_FALSE).empty());
  EXPECT_EQ(NamesByString(other.Get(), OPC_ENUM_PUBLIC, S_OK), publ);
  EXPECT_EQ(NamesByObject(other.Get(), OPC_ENUM_ALL, S_OK), publ);
}

TEST_F(OpcServer, GroupEnumerationRefusesBadScopesAndInterfaces) {
  auto group = AddGroup(L"Any");
  for (DWORD scope : {0u, 7u}) {
    ComPtr<IUnknown> e;
    EXPECT_HR(server_->CreateGroupEnumerator(OPCENUMSCOPE(scope), IID_IEnumString, e.PutUnknown()), E_INVALIDARG);
    EXPECT_FALSE(e);
    EXPECT_HR(server_->CreateGroupEnumerator(OPCENUMSCOPE(scope), __uuidof(IOPCItemMgt), e.PutUnknown()),
              E_INVALIDARG)
        << "the scope is checked first";
  }
  ComPtr<IUnknown> e;
  EXPECT_HR(server_->CreateGroupEnumerator(OPC_ENUM_ALL, __uuidof(IOPCItemMgt), e.PutUnknown()), E_NOINTERFACE);
  EXPECT_FALSE(e);
  EXPECT_HR(server_->CreateGroupEnumerator(OPC_ENUM_ALL, __uuidof(IEnumOPCItemAttributes), e.PutUnknown()),
            E_NOINTERFACE);
}

TEST_F(OpcServer, GetErrorStringGivesTheTextForAnyLocale) {
  EXPECT_EQ(ErrorString(server_.Get(), OPC_E_BADTYPE, 0x409),
            L"The server cannot convert the data between the requested data type and the canonical data type.");
  EXPECT_EQ(ErrorString(server_.Get(), OPC_S_INUSE, 0x407),
            L"The operation cannot be completed because the object still has references that exist.");
  EXPECT_EQ(ErrorString(server_.Get(), E_INVALIDARG, 0), L"One or more arguments are invalid.");
  EXPECT_EQ(ErrorString(server_.Get(), E_FAIL, 0x409), L"Error: 80004005 not Found");
  EXPECT_EQ(ErrorString(server_.Get(), HRESULT(0x00012345), 0x800), L"Error: 12345 not Found");
}

TEST_F(OpcServer, QueryInterfaceServesServerInterfacesNotGroupOnes) {
  EXPECT_TRUE(server_.Query<IOPCCommon>());
  EXPECT_TRUE(server_.Query<IConnectionPointContainer>());
  EXPECT_TRUE(SameObject(server_.Query<IOPCCommon>(), server_));
  for (REFIID iid : {__uuidof(IOPCGroupStateMgt), __uuidof(IOPCItemMgt), __uuidof(IOPCPublicGroupStateMgt),
                     __uuidof(IOPCShutdown), __uuidof(IOPCDataCallback)}) {
    ComPtr<IUnknown> p;
    EXPECT_HR(server_->QueryInterface(iid, p.PutVoid()), E_NOINTERFACE);
  }
}

TEST_F(OpcCommon, OnlyTheNeutralLocalesAreAccepted) {
  auto common = server_.Query<IOPCCommon>();
  ASSERT_TRUE(common);
  LCID lcid = 0xFFFF;
  ASSERT_HR(common->GetLocaleID(&lcid), S_OK);
  EXPECT_EQ(lcid, 0u);
  for (LCID good : {LCID(0x800), LCID(0x400), LCID(0)}) {
    EXPECT_HR(common->SetLocaleID(good), S_OK);
    EXPECT_HR(common->GetLocaleID(&lcid), S_OK);
    EXPECT_EQ(lcid, good);
  }
  EXPECT_HR(common->SetLocaleID(0x409), E_INVALIDARG);
  EXPECT_HR(common->GetLocaleID(&lcid), S_OK);
  EXPECT_EQ(lcid, 0u);
  EXPECT_HR(common->SetLocaleID(0x800), S_OK);
  EXPECT_HR(common->SetLocaleID(0x407), E_INVALIDARG);
  EXPECT_HR(common->GetLocaleID(&lcid), S_OK);
  EXPECT_EQ(lcid, 0x800u);
}

TEST_F(OpcCommon, AvailableLocalesAreSystemThenUserDefault) {
  auto common = server_.Query<IOPCCommon>();
  ASSERT_TRUE(common);
  DWORD count = 0;
  TaskMem<LCID> lcids;
  ASSERT_HR(common->QueryAvailableLocaleIDs(&count, lcids.Put()), S_OK);
  lcids.SetCount(count);
  ASSERT_EQ(count, 2u);
  ASSERT_NE(lcids.Get(), nullptr);
  EXPECT_EQ(lcids[0], 0x800u);
  EXPECT_EQ(lcids[1], 0x400u);
}

TEST_F(OpcCommon, ErrorStringsIgnoreTheLocaleAndClientNameIsAccepted) {
  auto common = server_.Query<IOPCCommon>();
  ASSERT_TRUE(common);
  EXPECT_HR(common->SetClientName(L"e2e client"), S_OK);
  EXPECT_HR(common->SetClientName(L""), S_OK);
  EXPECT_HR(common->SetLocaleID(0x800), S_OK);
  EXPECT_EQ(ErrorString(common.Get(), OPC_E_DUPLICATENAME), L"Duplicate name not allowed.");
  EXPECT_EQ(ErrorString(common.Get(), OPC_E_INVALIDITEMID),
            L"The item definition does not conform to the server's syntax.");
  EXPECT_EQ(ErrorString(common.Get(), E_FAIL), L"Error: 80004005 not Found");
}

TEST_F(ShutdownPoint, ContainerHoldsExactlyTheShutdownPoint) {
  auto container = server_.Query<IConnectionPointContainer>();
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
  EXPECT_TRUE(iid == IID_IOPCShutdown);

  ComPtr<IConnectionPoint> point;
  ASSERT_HR(container->FindConnectionPoint(IID_IOPCShutdown, point.Put()), S_OK);
  ComPtr<IConnectionPointContainer> back;
  ASSERT_HR(point->GetConnectionPointContainer(back.Put()), S_OK);
  EXPECT_TRUE(SameObject(back, server_));

  ComPtr<IConnectionPoint> none;
  EXPECT_HR(container->FindConnectionPoint(IID_IOPCDataCallback, none.Put()), CONNECT_E_NOCONNECTION);
  EXPECT_FALSE(none);
}

TEST_F(ShutdownPoint, TakesOneSinkAtATime) {
  ComPtr<IConnectionPoint> point;
  ASSERT_HR(server_.Query<IConnectionPointContainer>()->FindConnectionPoint(IID_IOPCShutdown, point.Put()), S_OK);
  auto first = MakeCom<ShutdownSink>();
  auto second = MakeCom<ShutdownSink>();
  DWORD cookie = 0, other = 0;
  ASSERT_HR(point->Advise(first.Get(), &cookie), S_OK);
  EXPECT_NE(cookie, 0u);
  EXPECT_HR(point->Advise(second.Get(), &other), CONNECT_E_CANNOTCONNECT);
  EXPECT_HR(point->Unadvise(cookie + 1), CONNECT_E_NOCONNECTION);
  EXPECT_HR(point->Unadvise(cookie), S_OK);
  EXPECT_HR(point->Advise(second.Get(), &other), S_OK);
  EXPECT_HR(point->Unadvise(other), S_OK);
  EXPECT_TRUE(first->reasons.empty());
  EXPECT_TRUE(second->reasons.empty());
}

TEST_F(ShutdownPoint, RefusesASinkWithoutTheShutdownInterface) {
  ComPtr<IConnectionPoint> point;
  ASSERT_HR(server_.Query<IConnectionPointContainer>()->FindConnectionPoint(IID_IOPCShutdown, point.Put()), S_OK);
  // The server asks each sink for the interface through our own QueryInterface.
  const ComPtr<IUnknown> wrong[] = {MakeCom<BareUnknown>().Query<IUnknown>(),
                                    MakeCom<DataCallbackSink>().Query<IUnknown>()};
  for (const auto& sink : wrong) {
    DWORD cookie = 99;
    EXPECT_HR(point->Advise(sink.Get(), &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);
  }
  // The point takes one sink at a time: the right one is taken only if the
  // wrong ones left it free, and then it holds it.
  auto right = MakeCom<ShutdownSink>();
  DWORD cookie = 0, second = 0;
  ASSERT_HR(point->Advise(right.Get(), &cookie), S_OK);
  EXPECT_HR(point->Advise(MakeCom<ShutdownSink>().Get(), &second), CONNECT_E_CANNOTCONNECT);
  EXPECT_HR(point->Unadvise(cookie), S_OK);
}

TEST_F(ShutdownPoint, ShutDownAsksTheSinkFirstThenDisconnectsServerAndGroups) {
  auto group = AddGroup(L"Held");
  auto groupKeepAlive = group.Query<IOPCGroupStateMgt2>();
  ASSERT_TRUE(groupKeepAlive);
  ComPtr<IConnectionPoint> point;
  ASSERT_HR(server_.Query<IConnectionPointContainer>()->FindConnectionPoint(IID_IOPCShutdown, point.Put()), S_OK);
  auto sink = MakeCom<ShutdownSink>();
  DWORD cookie = 0;
  ASSERT_HR(point->Advise(sink.Get(), &cookie), S_OK);
  const std::string destroyed = "server " + Server() + " 1";
  bool destroyedBeforeRequest = true;
  sink->onRequest = [&] {
    auto servers = Lines("server ");
    destroyedBeforeRequest = std::ranges::find(servers, destroyed) != servers.end();
  };

  ASSERT_TRUE(host_->Command("shutdown"));
  ASSERT_EQ(sink->reasons.size(), 1u);
  ASSERT_TRUE(sink->reasons[0].has_value()) << "null reason";
  EXPECT_EQ(*sink->reasons[0], L"");
  EXPECT_FALSE(destroyedBeforeRequest);
  EXPECT_EQ(Lines("server ").back(), destroyed);

  TaskPtr<OPCSERVERSTATUS> status;
  EXPECT_DISCONNECTED(server_->GetStatus(status.Put()));
  EXPECT_EQ(status.Get(), nullptr);
  EXPECT_DISCONNECTED(group->SetName(L"Late"));
  DWORD keepAlive = 0;
  EXPECT_DISCONNECTED(groupKeepAlive->GetKeepAlive(&keepAlive));
}

TEST_F(ShutdownPoint, ShutDownReachesEveryConnectedSinkOnce) {
  std::vector<ComPtr<IOPCServer>> servers{server_, Connect(), Connect(), Connect()};
  std::vector<ComPtr<ShutdownSink>> sinks;
  for (auto& s : servers) {
    ComPtr<IConnectionPoint> point;
    ASSERT_HR(s.Query<IConnectionPointContainer>()->FindConnectionPoint(IID_IOPCShutdown, point.Put()), S_OK);
    sinks.push_back(MakeCom<ShutdownSink>());
    DWORD cookie = 0;
    ASSERT_HR(point->Advise(sinks.back().Get(), &cookie), S_OK);
    // The last client lets go of its sink again.
    if (sinks.size() == servers.size()) {
      ASSERT_HR(point->Unadvise(cookie), S_OK);
    }
  }
  auto silent = Connect();  // never advises

  ASSERT_TRUE(host_->Command("shutdown"));
  for (size_t i = 0; i + 1 < sinks.size(); ++i) {
    ASSERT_EQ(sinks[i]->reasons.size(), 1u) << "client " << i;
    EXPECT_EQ(sinks[i]->reasons[0].value_or(L"<null>"), L"") << "client " << i;
  }
  EXPECT_TRUE(sinks.back()->reasons.empty());
  auto handles = ServerHandles();
  ASSERT_EQ(handles.size(), 5u);
  for (const auto& h : handles) EXPECT_TRUE(host_->WaitForEvent("server " + h + " 1", 0)) << h;
  for (auto& s : servers) {
    TaskPtr<OPCSERVERSTATUS> status;
    EXPECT_DISCONNECTED(s->GetStatus(status.Put()));
  }
}

TEST_F(ShutdownPoint, ClientsCanConnectAgainAfterShutDown) {
  ASSERT_TRUE(host_->Command("shutdown"));
  auto late = Connect();
  ASSERT_TRUE(late);
  EXPECT_EQ(GroupCount(late.Get()), 0u);
  EXPECT_EQ(ServerHandles().size(), 2u);
}

TEST_F(ShutdownPoint, FreeServerDisconnectsServerAndGroupsAndRevokesTheClass) {
  auto group = AddGroup(L"Held");
  ASSERT_TRUE(host_->Command("free"));
  EXPECT_TRUE(host_->WaitForEvent("free -1", 0));
  EXPECT_TRUE(host_->WaitForEvent("server " + Server() + " 1", 0));
  TaskPtr<OPCSERVERSTATUS> status;
  EXPECT_DISCONNECTED(server_->GetStatus(status.Put()));
  EXPECT_DISCONNECTED(group->SetName(L"Late"));
  ComPtr<IOPCServer> late;
  EXPECT_TRUE(FAILED(CoCreateInstance(classId_.clsid, nullptr, CLSCTX_LOCAL_SERVER, __uuidof(IOPCServer),
                                      late.PutVoid())));
}

}  // namespace
}  // namespace e2e
