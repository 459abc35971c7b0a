// IOPCItemMgt and IEnumOPCItemAttributes seen by an out-of-process client,
// with the item and tag notifications the host receives meanwhile.
#include "opc_client.h"

namespace e2e {
namespace {

class ItemsFixture : public HostedServer {
 protected:
  std::vector<std::string> Tags() const override {
    return {"Tank1.Level 5 3 1.5", "Tank1.Temp 4 1 20", "Counter 3 3 7", "Text.Abc 8 3 abc", "Text.Twelve 8 3 12"};
  }

  void SetUp() override {
    HostedServer::SetUp();
    if (HasFatalFailure()) return;
    group_ = AddGroup(L"Items");
    items_ = group_.Query<IOPCItemMgt>();
    ASSERT_TRUE(items_);
  }

  void TearDown() override {
    items_.Reset();
    group_.Reset();
    HostedServer::TearDown();
  }

  HRESULT Add(ItemDefs& defs, ItemResults& out, IOPCItemMgt* items = nullptr) {
    HRESULT hr = (items ? items : items_.Get())
                     ->AddItems(defs.Count(), defs.Data(), out.results.Put(defs.Count()), out.errors.Put(defs.Count()));
    return hr;
  }

  // Handles of items that must be added without trouble.
  std::vector<OPCHANDLE> AddAll(std::initializer_list<const wchar_t*> ids, BOOL active = TRUE) {
    ItemDefs defs;
    OPCHANDLE client = 0;
    for (const wchar_t* id : ids) defs.Add(id, VT_EMPTY, ++client, active);
    ItemResults r;
    EXPECT_HR(Add(defs, r), S_OK);
    std::vector<OPCHANDLE> handles;
    for (DWORD i = 0; i < r.results.Size(); ++i) handles.push_back(r.results[i].hServer);
    return handles;
  }

  std::string Item(const std::string& path, int action) const {
    return "item " + Server() + " " + path + " " + std::to_string(action);
  }

  ComPtr<IOPCGroupStateMgt> group_;
  ComPtr<IOPCItemMgt> items_;
};

class OpcItems : public ItemsFixture {};
class ItemEnumerator : public ItemsFixture {};

using Strings = std::vector<std::string>;
using Ids = std::vector<std::wstring>;
// A per-item method's result and its error array.
using Answer = std::pair<Hr, Codes>;
// Next's result and the item IDs it handed out.
using Fetched = std::pair<Hr, Ids>;

TEST_F(OpcItems, AddItemsCreatesKnownIdsAndRefusesUnknownOnes) {
  ItemDefs defs;
  defs.Add(L"Tank1.Level", VT_EMPTY, 1).Add(L"No.Such.Tag", VT_EMPTY, 2);
  ItemResults r;
  ASSERT_HR(Add(defs, r), S_FALSE);
  ASSERT_EQ(r.results.Size(), 2u);
  EXPECT_EQ(r.Errors(), (Codes{S_OK, OPC_E_INVALIDITEMID}));
  EXPECT_NE(r.results[0].hServer, 0u);
  EXPECT_EQ(r.results[0].vtCanonicalDataType, VT_R8);
  EXPECT_EQ(r.results[0].dwAccessRights, DWORD(OPC_READABLE | OPC_WRITEABLE));
  EXPECT_EQ(r.results[0].dwBlobSize, 0u);
  EXPECT_EQ(r.results[0].pBlob, nullptr);
  EXPECT_EQ(r.results[1].dwBlobSize, 0u);
  EXPECT_EQ(r.results[1].pBlob, nullptr);

  // The host was asked for the unknown ID and refused it.
  EXPECT_EQ(Lines("tagnotify "), Strings{"tagnotify No.Such.Tag []"});
  EXPECT_EQ(Lines("item "), Strings{Item("Tank1.Level", 0)});
  auto items = ItemsOf(items_.Get());
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].server, r.results[0].hServer);
}

TEST_F(OpcItems, APropertyItemIdAddsAnItemOfItsTag) {
  ItemDefs defs;
  defs.Add(L"Tank1.Level.ACCESSRIGHT", VT_EMPTY, 1).Add(L"Tank1.Temp.SCANRATE", VT_EMPTY, 2);
  ItemResults r;
  ASSERT_HR(Add(defs, r), S_OK);
  ASSERT_EQ(r.results.Size(), 2u);
  EXPECT_EQ(r.Errors(), (Codes{S_OK, S_OK}));
  EXPECT_EQ(r.results[0].vtCanonicalDataType, VT_R8);
  EXPECT_EQ(r.results[0].dwAccessRights, DWORD(OPC_READABLE | OPC_WRITEABLE));
  EXPECT_EQ(r.results[1].vtCanonicalDataType, VT_R4);
  EXPECT_EQ(r.results[1].dwAccessRights, DWORD(OPC_READABLE));
  EXPECT_EQ(Lines("item "), (Strings{Item("Tank1.Level", 0), Item("Tank1.Temp", 0)}));
  EXPECT_TRUE(Lines("tagnotify ").empty());
}

TEST_F(OpcItems, WithoutTagNotifyUnknownIdsAreInvalid) {
  ASSERT_TRUE(host_->Command("tagnotify off"));
  ItemDefs defs;
  defs.Add(L"Dyn.Flow").Add(L"Counter");
  ItemResults r;
  ASSERT_HR(Add(defs, r), S_FALSE);
  EXPECT_EQ(r.Errors(), (Codes{OPC_E_INVALIDITEMID, S_OK}));
  EXPECT_TRUE(Lines("tagnotify ").empty());
  EXPECT_EQ(Lines("item "), Strings{Item("Counter", 0)});
}

TEST_F(OpcItems, TagNotifySuppliesAMissingTag) {
  ItemDefs defs;
  defs.Add(L"Tank1.Level", VT_EMPTY, 1).Add(L"Dyn.Flow", VT_EMPTY, 2, TRUE, L"Plant");
  ItemResults r;
  ASSERT_HR(Add(defs, r), S_OK);
  EXPECT_EQ(r.Errors(), (Codes{S_OK, S_OK}));
  EXPECT_NE(r.results[1].hServer, 0u);
  EXPECT_NE(r.results[1].hServer, r.results[0].hServer);
  EXPECT_EQ(r.results[1].vtCanonicalDataType, VT_I4);
  EXPECT_EQ(r.results[1].dwAccessRights, DWORD(OPC_READABLE | OPC_WRITEABLE));
  EXPECT_EQ(Lines("tagnotify "), Strings{"tagnotify Dyn.Flow [Plant]"});
  EXPECT_EQ(Lines("item "), (Strings{Item("Tank1.Level", 0), Item("Dyn.Flow", 0)}));

  // From now on the tag is in the address space: the host is not asked again.
  ItemDefs again;
  again.Add(L"dyn.flow");
  ItemResults v;
  ASSERT_HR(items_->ValidateItems(again.Count(), again.Data(), FALSE, v.results.Put(again.Count()),
                                  v.errors.Put(again.Count())),
            S_OK);
  EXPECT_EQ(v.results[0].vtCanonicalDataType, VT_I4);
  EXPECT_EQ(Lines("tagnotify ").size(), 1u);
}

TEST_F(OpcItems, BlankItemIdsAreInvalidWithoutAskingTheHost) {
  ItemDefs defs;
  defs.Add(L"").Add(L"   ").Add(L"\t ").AddNull();
  ItemResults r;
  ASSERT_HR(Add(defs, r), S_FALSE);
  EXPECT_EQ(r.Errors(), (Codes{OPC_E_INVALIDITEMID, OPC_E_INVALIDITEMID, OPC_E_INVALIDITEMID, OPC_E_INVALIDITEMID}));
  for (DWORD i = 0; i < r.results.Size(); ++i) {
    EXPECT_EQ(r.results[i].dwBlobSize, 0u);
    EXPECT_EQ(r.results[i].pBlob, nullptr);
  }
  EXPECT_TRUE(Lines("tagnotify ").empty());
  EXPECT_TRUE(Lines("item ").empty());
  EXPECT_TRUE(ItemsOf(items_.Get()).empty());
}

TEST_F(OpcItems, RequestedTypeMustBeReachableFromTheCurrentValue) {
  ItemDefs defs;
  defs.Add(L"Text.Abc", VT_I4).Add(L"Text.Twelve", VT_I4).Add(L"Text.Abc", VT_EMPTY).Add(L"Tank1.Level", VT_BSTR);
  ItemResults r;
  ASSERT_HR(Add(defs, r), S_FALSE);
  EXPECT_EQ(r.Errors(), (Codes{OPC_E_BADTYPE, S_OK, S_OK, S_OK}));
  EXPECT_EQ(r.results[1].vtCanonicalDataType, VT_BSTR);
  EXPECT_EQ(Lines("item "), (Strings{Item("Text.Twelve", 0), Item("Text.Abc", 0), Item("Tank1.Level", 0)}));
  auto items = ItemsOf(items_.Get());
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].requested, VT_I4);
  EXPECT_EQ(items[1].requested, VT_EMPTY);
  EXPECT_EQ(items[2].requested, VT_BSTR);
}

TEST_F(OpcItems, ACountOfZeroIsInvalidAndAllocatesNothing) {
  // Across processes a callee's untouched [out] pointer arrives as null; a
  // non-null one would mean the server handed out an array.
  ItemDefs defs;
  defs.Add(L"Counter");
  OPCHANDLE handles[] = {1};
  OPCHANDLE clients[] = {1};
  VARTYPE types[] = {VT_I4};
  {
    ItemResults r;
    EXPECT_HR(items_->AddItems(0, defs.Data(), r.results.Put(0), r.errors.Put(0)), E_INVALIDARG);
    EXPECT_EQ(r.results.Get(), nullptr);
    EXPECT_EQ(r.errors.Get(), nullptr);
  }
  {
    ItemResults r;
    EXPECT_HR(items_->ValidateItems(0, defs.Data(), FALSE, r.results.Put(0), r.errors.Put(0)), E_INVALIDARG);
    EXPECT_EQ(r.results.Get(), nullptr);
    EXPECT_EQ(r.errors.Get(), nullptr);
  }
  auto perItem = [&](const char* name, auto call) {
    TaskMem<HRESULT> e;
    EXPECT_HR(call(e.Put()), E_INVALIDARG) << name;
    EXPECT_EQ(e.Get(), nullptr) << name;
  };
  perItem("RemoveItems", [&](HRESULT** errors) { return items_->RemoveItems(0, handles, errors); });
  perItem("SetActiveState", [&](HRESULT** errors) { return items_->SetActiveState(0, handles, TRUE, errors); });
  perItem("SetClientHandles", [&](HRESULT** errors) { return items_->SetClientHandles(0, handles, clients, errors); });
  perItem("SetDatatypes", [&](HRESULT** errors) { return items_->SetDatatypes(0, handles, types, errors); });
  EXPECT_TRUE(Lines("item ").empty());
}

TEST_F(OpcItems, ValidateItemsChecksWithoutCreating) {
  ItemDefs defs;
  defs.Add(L"Tank1.Level").Add(L"tank1.TEMP", VT_R8).Add(L"Tank1.Pressure");
  ItemResults r;
  ASSERT_HR(
      items_->ValidateItems(defs.Count(), defs.Data(), TRUE, r.results.Put(defs.Count()), r.errors.Put(defs.Count())),
      S_FALSE);
  EXPECT_EQ(r.Errors(), (Codes{S_OK, S_OK, OPC_E_INVALIDITEMID}));
  EXPECT_NE(r.results[0].hServer, 0u);
  EXPECT_NE(r.results[1].hServer, 0u);
  EXPECT_EQ(r.results[0].vtCanonicalDataType, VT_R8);
  EXPECT_EQ(r.results[1].vtCanonicalDataType, VT_R4);
  EXPECT_EQ(r.results[0].dwAccessRights, DWORD(OPC_READABLE | OPC_WRITEABLE));
  EXPECT_EQ(r.results[1].dwAccessRights, DWORD(OPC_READABLE));
  for (DWORD i = 0; i < r.results.Size(); ++i) {
    EXPECT_EQ(r.results[i].dwBlobSize, 0u) << "no blob even when asked for one";
    EXPECT_EQ(r.results[i].pBlob, nullptr);
  }
  EXPECT_TRUE(Lines("item ").empty());
  ComPtr<IEnumOPCItemAttributes> e;
  EXPECT_HR(items_->CreateEnumerator(__uuidof(IEnumOPCItemAttributes), e.PutUnknown()), S_FALSE);
}

TEST_F(OpcItems, TheSameItemIdTwiceMakesTwoItems) {
  auto handles = AddAll({L"Counter", L"COUNTER"});
  ASSERT_EQ(handles.size(), 2u);
  EXPECT_NE(handles[0], 0u);
  EXPECT_NE(handles[1], 0u);
  EXPECT_NE(handles[0], handles[1]);
  EXPECT_EQ(Lines("item "), (Strings{Item("Counter", 0), Item("Counter", 0)}));
  EXPECT_EQ(ItemIdsOf(items_.Get()), (std::vector<std::wstring>{L"Counter", L"Counter"}));
}

TEST_F(OpcItems, RemoveItemsNotifiesAndRefusesStaleHandles) {
  auto h = AddAll({L"Tank1.Level", L"Counter"});
  ASSERT_EQ(h.size(), 2u);
  {
    TaskMem<HRESULT> e;
    OPCHANDLE first[] = {h[0]};
    ASSERT_HR(items_->RemoveItems(1, first, e.Put(1)), S_OK);
    EXPECT_EQ(CodesOf(e), Codes{S_OK});
  }
  EXPECT_EQ(Lines("item ").back(), Item("Tank1.Level", 1));
  {
    TaskMem<HRESULT> e;
    OPCHANDLE mixed[] = {h[0], 0, h[1]};
    ASSERT_HR(items_->RemoveItems(3, mixed, e.Put(3)), S_FALSE);
    EXPECT_EQ(CodesOf(e), (Codes{OPC_E_INVALIDHANDLE, OPC_E_INVALIDHANDLE, S_OK}));
  }
  EXPECT_EQ(Lines("item "), (Strings{Item("Tank1.Level", 0), Item("Counter", 0), Item("Tank1.Level", 1),
                                     Item("Counter", 1)}));
  ComPtr<IEnumOPCItemAttributes> e;
  EXPECT_HR(items_->CreateEnumerator(__uuidof(IEnumOPCItemAttributes), e.PutUnknown()), S_FALSE);
}

TEST_F(OpcItems, ItemHandlesBelongToTheirGroup) {
  auto mine = AddAll({L"Counter"});
  ASSERT_EQ(mine.size(), 1u);
  auto other = AddGroup(L"Other").Query<IOPCItemMgt>();
  ASSERT_TRUE(other);
  OPCHANDLE handles[] = {mine[0]};
  {
    TaskMem<HRESULT> e;
    ASSERT_HR(other->RemoveItems(1, handles, e.Put(1)), S_FALSE);
    EXPECT_EQ(CodesOf(e), Codes{OPC_E_INVALIDHANDLE});
  }
  {
    TaskMem<HRESULT> e;
    ASSERT_HR(other->SetActiveState(1, handles, FALSE, e.Put(1)), S_FALSE);
    EXPECT_EQ(CodesOf(e), Codes{OPC_E_INVALIDHANDLE});
  }
  EXPECT_EQ(Lines("item "), Strings{Item("Counter", 0)});
  EXPECT_EQ(ItemsOf(items_.Get()).size(), 1u);
}

TEST_F(OpcItems, SetActiveStateNotifiesTheHostOnEveryRequest) {
  auto h = AddAll({L"Tank1.Temp"}, FALSE);
  ASSERT_EQ(h.size(), 1u);
  auto setActive = [&](std::vector<OPCHANDLE> handles, BOOL active) {
    TaskMem<HRESULT> e;
    HRESULT hr = items_->SetActiveState(DWORD(handles.size()), handles.data(), active, e.Put(DWORD(handles.size())));
    return Answer{hr, CodesOf(e)};
  };
  EXPECT_EQ(setActive({h[0]}, FALSE), Answer(S_OK, Codes{S_OK}));
  EXPECT_FALSE(ItemsOf(items_.Get()).at(0).active);
  EXPECT_EQ(setActive({h[0]}, FALSE), Answer(S_OK, Codes{S_OK}));
  EXPECT_EQ(setActive({h[0]}, TRUE), Answer(S_OK, Codes{S_OK}));
  EXPECT_TRUE(ItemsOf(items_.Get()).at(0).active);
  EXPECT_EQ(setActive({0, h[0]}, FALSE), Answer(S_FALSE, (Codes{OPC_E_INVALIDHANDLE, S_OK})));
  EXPECT_FALSE(ItemsOf(items_.Get()).at(0).active);
  EXPECT_EQ(Lines("item "), (Strings{Item("Tank1.Temp", 0), Item("Tank1.Temp", 3), Item("Tank1.Temp", 3),
                                     Item("Tank1.Temp", 2), Item("Tank1.Temp", 3)}));
}

TEST_F(OpcItems, SetClientHandlesChangesTheNamedItemsOnly) {
  auto h = AddAll({L"Tank1.Level", L"Counter"});
  ASSERT_EQ(h.size(), 2u);
  TaskMem<HRESULT> e;
  OPCHANDLE handles[] = {h[0], 0};
  OPCHANDLE clients[] = {101, 102};
  ASSERT_HR(items_->SetClientHandles(2, handles, clients, e.Put(2)), S_FALSE);
  EXPECT_EQ(CodesOf(e), (Codes{S_OK, OPC_E_INVALIDHANDLE}));
  auto items = ItemsOf(items_.Get());
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].client, 101u);
  EXPECT_EQ(items[1].client, 2u);
}

TEST_F(OpcItems, SetDatatypesChecksAgainstTheCurrentValue) {
  auto h = AddAll({L"Text.Abc", L"Text.Twelve"});
  ASSERT_EQ(h.size(), 2u);
  auto setTypes = [&](std::vector<OPCHANDLE> handles, std::vector<VARTYPE> types) {
    TaskMem<HRESULT> e;
    HRESULT hr =
        items_->SetDatatypes(DWORD(handles.size()), handles.data(), types.data(), e.Put(DWORD(handles.size())));
    return Answer{hr, CodesOf(e)};
  };
  EXPECT_EQ(setTypes({h[0], h[1]}, {VT_I4, VT_I4}), Answer(S_FALSE, (Codes{OPC_E_BADTYPE, S_OK})));
  auto items = ItemsOf(items_.Get());
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].requested, VT_EMPTY) << "a refused type leaves the item as it was";
  EXPECT_EQ(items[1].requested, VT_I4);

  ASSERT_TRUE(host_->Command("update Text.Abc 34"));
  ASSERT_EQ(Lines("update "), Strings{"update Text.Abc -1"});
  EXPECT_EQ(setTypes({h[0]}, {VT_I4}), Answer(S_OK, Codes{S_OK}));
  EXPECT_EQ(ItemsOf(items_.Get()).at(0).requested, VT_I4);
  EXPECT_EQ(setTypes({0}, {VT_R8}), Answer(S_FALSE, Codes{OPC_E_INVALIDHANDLE}));
}

TEST_F(OpcItems, RemovingAGroupDoesNotReportItsItems) {
  OPCHANDLE handle = 0;
  auto group = AddGroup(L"Doomed", &handle);
  auto items = group.Query<IOPCItemMgt>();
  ItemDefs defs;
  defs.Add(L"Counter").Add(L"Tank1.Level");
  ItemResults r;
  ASSERT_HR(Add(defs, r, items.Get()), S_OK);
  items.Reset();
  group.Reset();
  ASSERT_HR(server_->RemoveGroup(handle, FALSE), S_OK);
  EXPECT_EQ(Lines("group ").back(), "group " + Server() + " Doomed 1");
  EXPECT_EQ(Lines("item "), (Strings{Item("Counter", 0), Item("Tank1.Level", 0)}));
}

TEST_F(ItemEnumerator, AttributesDescribeEachItem) {
  ItemDefs defs;
  defs.Add(L"tank1.LEVEL", VT_R4, 1, TRUE, L"Path").Add(L"Tank1.Temp", VT_EMPTY, 2, FALSE).Add(L"Counter", VT_BSTR, 3);
  ItemResults r;
  ASSERT_HR(Add(defs, r), S_OK);
  ComPtr<IEnumOPCItemAttributes> e;
  ASSERT_HR(items_->CreateEnumerator(__uuidof(IEnumOPCItemAttributes), e.PutUnknown()), S_OK);
  TaskMem<OPCITEMATTRIBUTES> a;
  ULONG count = 0;
  ASSERT_HR(e->Next(3, a.Put(), &count), S_OK);
  a.SetCount(count);
  ASSERT_EQ(count, 3u);
  const struct {
    const wchar_t* id;
    BOOL active;
    DWORD rights;
    VARTYPE requested, canonical;
  } expected[] = {{L"Tank1.Level", TRUE, OPC_READABLE | OPC_WRITEABLE, VT_R4, VT_R8},
                  {L"Tank1.Temp", FALSE, OPC_READABLE, VT_EMPTY, VT_R4},
                  {L"Counter", TRUE, OPC_READABLE | OPC_WRITEABLE, VT_BSTR, VT_I4}};
  for (ULONG i = 0; i < 3; ++i) {
    const OPCITEMATTRIBUTES& x = a[i];
    EXPECT_EQ(Narrow(x.szItemID), Narrow(expected[i].id)) << i;
    EXPECT_EQ(x.szAccessPath, nullptr) << i;
    EXPECT_EQ(bool(x.bActive), bool(expected[i].active)) << i;
    EXPECT_EQ(x.hClient, i + 1) << i;
    EXPECT_EQ(x.hServer, r.results[i].hServer) << i;
    EXPECT_EQ(x.dwAccessRights, expected[i].rights) << i;
    EXPECT_EQ(x.dwBlobSize, 0u) << i;
    EXPECT_EQ(x.pBlob, nullptr) << i;
    EXPECT_EQ(x.vtRequestedDataType, expected[i].requested) << i;
    EXPECT_EQ(x.vtCanonicalDataType, expected[i].canonical) << i;
    EXPECT_EQ(x.dwEUType, OPC_NOENUM) << i;
    EXPECT_EQ(V_VT(&x.vEUInfo), VT_EMPTY) << i;
  }
}

// Next with a count and what it returned: the item IDs and the result.
Fetched Next(IEnumOPCItemAttributes* e, ULONG celt) {
  TaskMem<OPCITEMATTRIBUTES> a;
  ULONG count = 0;
  HRESULT hr = e->Next(celt, a.Put(), &count);
  a.SetCount(count);
  std::vector<std::wstring> ids;
  for (size_t i = 0; i < a.Size(); ++i) ids.emplace_back(a[i].szItemID ? a[i].szItemID : L"<null>");
  return {hr, ids};
}

TEST_F(ItemEnumerator, NextSkipResetAndCloneWalkTheSnapshot) {
  AddAll({L"Tank1.Level", L"Tank1.Temp", L"Counter"});
  ComPtr<IEnumOPCItemAttributes> e;
  ASSERT_HR(items_->CreateEnumerator(__uuidof(IEnumOPCItemAttributes), e.PutUnknown()), S_OK);
  EXPECT_EQ(Next(e.Get(), 2), Fetched(S_OK, (Ids{L"Tank1.Level", L"Tank1.Temp"})));
  EXPECT_EQ(Next(e.Get(), 2), Fetched(S_FALSE, Ids{L"Counter"}));
  EXPECT_HR(e->Skip(1), S_FALSE);
  EXPECT_HR(e->Reset(), S_OK);
  EXPECT_HR(e->Skip(4), S_FALSE);
  EXPECT_HR(e->Skip(3), S_OK) << "a failed Skip leaves the position";
  EXPECT_EQ(Next(e.Get(), 1), Fetched(S_FALSE, Ids{}));
  EXPECT_HR(e->Skip(0), E_INVALIDARG);
  EXPECT_HR(Next(e.Get(), 0).first.value, E_INVALIDARG);

  EXPECT_HR(e->Reset(), S_OK);
  EXPECT_EQ(Next(e.Get(), 1), Fetched(S_OK, Ids{L"Tank1.Level"}));
  ComPtr<IEnumOPCItemAttributes> clone;
  ASSERT_HR(e->Clone(clone.Put()), S_OK);
  ASSERT_TRUE(clone);
  EXPECT_EQ(Next(clone.Get(), 5), Fetched(S_FALSE, (Ids{L"Tank1.Temp", L"Counter"})));
  EXPECT_EQ(Next(e.Get(), 1), Fetched(S_OK, Ids{L"Tank1.Temp"})) << "the clone has a position of its own";
  EXPECT_HR(clone->Reset(), S_OK);
  EXPECT_EQ(Next(clone.Get(), 3).second.size(), 3u);
}

TEST_F(ItemEnumerator, LaterChangesDoNotShowInAnExistingEnumerator) {
  auto h = AddAll({L"Tank1.Level", L"Counter"});
  ASSERT_EQ(h.size(), 2u);
  ComPtr<IEnumOPCItemAttributes> e;
  ASSERT_HR(items_->CreateEnumerator(__uuidof(IEnumOPCItemAttributes), e.PutUnknown()), S_OK);
  AddAll({L"Tank1.Temp"});
  TaskMem<HRESULT> removed;
  ASSERT_HR(items_->RemoveItems(1, &h[0], removed.Put(1)), S_OK);
  EXPECT_EQ(Next(e.Get(), 10), Fetched(S_FALSE, (Ids{L"Tank1.Level", L"Counter"})));
  EXPECT_EQ(ItemIdsOf(items_.Get()), (Ids{L"Counter", L"Tank1.Temp"}));
}

TEST_F(ItemEnumerator, EmptyGroupsAndOtherInterfaces) {
  ComPtr<IEnumOPCItemAttributes> e;
  ASSERT_HR(items_->CreateEnumerator(__uuidof(IEnumOPCItemAttributes), e.PutUnknown()), S_FALSE);
  ASSERT_TRUE(e) << "an empty enumerator is still handed out";
  EXPECT_EQ(Next(e.Get(), 1), Fetched(S_FALSE, Ids{}));

  ComPtr<IUnknown> wrong;
  EXPECT_HR(items_->CreateEnumerator(IID_IEnumString, wrong.PutUnknown()), E_NOINTERFACE);
  EXPECT_FALSE(wrong);
  EXPECT_HR(items_->CreateEnumerator(IID_IEnumUnknown, wrong.PutUnknown()), E_NOINTERFACE);

  AddAll({L"Counter"});
  ComPtr<IUnknown> unknown;
  ASSERT_HR(items_->CreateEnumerator(IID_IUnknown, unknown.PutUnknown()), S_OK);
  auto viaUnknown = unknown.Query<IEnumOPCItemAttributes>();
  ASSERT_TRUE(viaUnknown);
  EXPECT_EQ(Next(viaUnknown.Get(), 1), Fetched(S_OK, Ids{L"Counter"}));
}

}  // namespace
}  // namespace e2e
