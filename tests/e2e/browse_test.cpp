// IOPCBrowseServerAddressSpace and IOPCBrowse seen by an out-of-process
// client: every name, item ID and continuation point crosses the proxy, so
// these tests also prove that the server's out-strings are marshalled intact.
#include <algorithm>

#include "opc_client.h"

namespace e2e {
namespace {

using Ids = std::vector<std::wstring>;

// Five children of the root, two of them branches, with leaves of different
// types and access rights for the filters.
class BrowseFixture : public HostedServer {
 protected:
  std::vector<std::string> Tags() const override {
    return {"Tank1.Level 5 3 1.5", "Tank1.Temp 4 1 20", "Pump 3 3 7", "Valve 3 1 1", "Boiler.Pressure 5 3 2",
            "Alarm 2 2 0"};
  }

  void SetUp() override {
    HostedServer::SetUp();
    if (HasFatalFailure()) return;
    space_ = server_.Query<IOPCBrowseServerAddressSpace>();
    browse_ = server_.Query<IOPCBrowse>();
    ASSERT_TRUE(space_);
    ASSERT_TRUE(browse_);
  }

  void TearDown() override {
    space_.Reset();
    browse_.Reset();
    HostedServer::TearDown();
  }

  HRESULT Move(OPCBROWSEDIRECTION direction, const wchar_t* name = L"") {
    return space_->ChangeBrowsePosition(direction, name);
  }

  // GetItemID's answer and string; the string must be null on failure.
  std::pair<Hr, std::wstring> ItemIdOf(const wchar_t* name, IOPCBrowseServerAddressSpace* space = nullptr) {
    TaskString id;
    std::wstring copy(name);
    HRESULT hr = (space ? space : space_.Get())->GetItemID(copy.data(), id.Put());
    if (FAILED(hr)) {
      EXPECT_EQ(id.Get(), nullptr) << "GetItemID handed out a string with " << HrName(hr);
    }
    return {hr, id ? id.Get() : L"<null>"};
  }
  // The item ID of the current position.
  std::wstring Position(IOPCBrowseServerAddressSpace* space = nullptr) { return ItemIdOf(L"", space).second; }

  // BrowseOPCItemIDs' answer and every name of its enumerator.
  std::pair<Hr, Ids> List(OPCBROWSETYPE type, const wchar_t* filter = L"", VARTYPE dataType = VT_EMPTY,
                          DWORD rights = 0) {
    ComPtr<IEnumString> e;
    HRESULT hr = space_->BrowseOPCItemIDs(type, filter, dataType, rights, e.Put());
    if (FAILED(hr)) {
      EXPECT_FALSE(e) << "an enumerator came with " << HrName(hr);
      return {hr, {}};
    }
    EXPECT_TRUE(e) << "no enumerator with " << HrName(hr);
    if (!e) return {hr, {}};
    Enumerated all = ReadAll(e.Get());
    // What Wine's enumerator proxy answers for Next past the end (the other
    // e2e enumerator tests expect the same).
    EXPECT_HR(all.last, HRESULT(1781)) << "Next past the last name";
    return {hr, all.strings};
  }

  ComPtr<IOPCBrowseServerAddressSpace> space_;
  ComPtr<IOPCBrowse> browse_;
};

class BrowseAddressSpace : public BrowseFixture {};
class BrowseV3 : public BrowseFixture {};

// One property of a browse element or a property list, copied out of task
// memory; the value is shown as invariant text ("<empty>" when not returned).
struct Property {
  VARTYPE type;
  DWORD id;
  std::wstring itemId, description;
  VARTYPE valueType;
  std::wstring value;
  Hr error;
};

std::wstring Text(const VARIANT& v) {
  if (V_VT(&v) == VT_EMPTY) return L"<empty>";
  Variant text;
  std::wstring shown = L"<unconvertible>";
  if (SUCCEEDED(VariantChangeTypeEx(&text, const_cast<VARIANT*>(&v), LOCALE_INVARIANT, 0, VT_BSTR)))
    shown = V_BSTR(&text);
  return shown;
}

struct PropertyList {
  Hr error = S_OK;
  std::vector<Property> properties;
  bool arrayNull = true;
};

PropertyList CopyList(const OPCITEMPROPERTIES& list) {
  PropertyList out;
  out.error = list.hrErrorID;
  out.arrayNull = list.pItemProperties == nullptr;
  for (DWORD k = 0; list.pItemProperties && k < list.dwNumProperties; ++k) {
    const OPCITEMPROPERTY& p = list.pItemProperties[k];
    out.properties.push_back({p.vtDataType, p.dwPropertyID, p.szItemID ? p.szItemID : L"<null>",
                              p.szDescription ? p.szDescription : L"<null>", V_VT(&p.vValue), Text(p.vValue),
                              p.hrErrorID});
  }
  return out;
}

struct Element {
  std::wstring name, itemId;
  DWORD flags;
  PropertyList list;
};

struct Browsed {
  Hr hr = E_FAIL;
  BOOL more = FALSE;
  std::optional<std::wstring> point;  // nullopt: no continuation point
  DWORD count = 0;
  bool elementsNull = true;
  std::vector<Element> elements;
  std::vector<std::wstring> Names() const {
    std::vector<std::wstring> names;
    for (const auto& e : elements) names.push_back(e.name);
    return names;
  }
};

struct BrowseArgs {
  std::wstring itemId;
  std::optional<std::wstring> point;
  DWORD max = 0;
  OPCBROWSEFILTER filter = OPC_BROWSE_FILTER_ALL;
  std::wstring nameFilter;
  BOOL allProperties = FALSE;
  BOOL values = FALSE;
  std::vector<DWORD> ids;
};

Browsed Browse(IOPCBrowse* browse, BrowseArgs a) {
  Browsed out;
  TaskString point;
  if (a.point) point = TaskString::Attach(quillon::TaskMemString(*a.point).Detach());
  std::wstring vendor;
  TaskMem<OPCBROWSEELEMENT> elements;
  // The ID array is a reference parameter: the proxy refuses null even with a
  // count of zero.
  DWORD none = 0;
  out.hr = browse->Browse(a.itemId.data(), point.InOut(), a.max, a.filter, a.nameFilter.data(), vendor.data(),
                          a.allProperties, a.values, DWORD(a.ids.size()), a.ids.empty() ? &none : a.ids.data(),
                          &out.more, &out.count, elements.Put());
  elements.SetCount(out.count);
  if (point) out.point = point.Get();
  out.elementsNull = elements.Get() == nullptr;
  for (size_t i = 0; i < elements.Size(); ++i) {
    const OPCBROWSEELEMENT& e = elements[i];
    out.elements.push_back({e.szName ? e.szName : L"<null>", e.szItemID ? e.szItemID : L"<null>", e.dwFlagValue,
                            CopyList(e.ItemProperties)});
  }
  return out;
}

// The standard properties 1 to 6: the last names of their item IDs, their
// descriptions, and their types (the CV's is the tag's, here a VT_R8 one's).
const Ids kStandardNames = {L"DATATYPE", L"CV", L"QUALITY", L"TIME", L"ACCESSRIGHT", L"SCANRATE"};
const Ids kStandardDescriptions = {L"Item Canonical DataType", L"Item Value",         L"Item Quality",
                                   L"Item Timestamp",          L"Item Access Rights", L"Server Scan Rate"};
const std::vector<VARTYPE> kStandardTypes = {VT_I2, VT_R8, VT_I2, VT_DATE, VT_I4, VT_R4};

// --- IOPCBrowseServerAddressSpace ---------------------------------------

TEST_F(BrowseAddressSpace, QueryOrganizationIsHierarchical) {
  OPCNAMESPACETYPE type = OPC_NS_FLAT;
  EXPECT_HR(space_->QueryOrganization(&type), S_OK);
  EXPECT_EQ(type, OPC_NS_HIERARCHIAL);
}

TEST_F(BrowseAddressSpace, DownAndUpMoveOnlyBetweenBranches) {
  EXPECT_EQ(Position(), L"ROOT");
  EXPECT_HR(Move(OPC_BROWSE_DOWN, L"Tank1"), S_OK);
  EXPECT_EQ(Position(), L"Tank1");
  // A leaf can never be the position; a refused move leaves it where it was.
  EXPECT_HR(Move(OPC_BROWSE_DOWN, L"Level"), E_INVALIDARG);
  EXPECT_HR(Move(OPC_BROWSE_DOWN, L"NoSuchChild"), E_INVALIDARG);
  EXPECT_EQ(Position(), L"Tank1");
  EXPECT_HR(Move(OPC_BROWSE_UP), S_OK);
  EXPECT_EQ(Position(), L"ROOT");
  EXPECT_HR(Move(OPC_BROWSE_UP), E_FAIL);
  EXPECT_EQ(Position(), L"ROOT");
  // Names are found ignoring case.
  EXPECT_HR(Move(OPC_BROWSE_DOWN, L"boiler"), S_OK);
  EXPECT_EQ(Position(), L"Boiler");
}

TEST_F(BrowseAddressSpace, ToMovesFromAnywhereAndEmptyMeansTheRoot) {
  ASSERT_HR(Move(OPC_BROWSE_DOWN, L"Boiler"), S_OK);
  EXPECT_HR(Move(OPC_BROWSE_TO, L"Tank1"), S_OK);
  EXPECT_EQ(Position(), L"Tank1");
  // From Tank1 itself: TO looks the name up from the root, not from here.
  EXPECT_HR(Move(OPC_BROWSE_TO, L"Tank1"), S_OK);
  EXPECT_EQ(Position(), L"Tank1");
  EXPECT_HR(Move(OPC_BROWSE_TO, L"Tank1.Level"), E_INVALIDARG);
  EXPECT_HR(Move(OPC_BROWSE_TO, L"Nowhere"), E_INVALIDARG);
  EXPECT_EQ(Position(), L"Tank1");
  EXPECT_HR(Move(OPC_BROWSE_TO, L""), S_OK);
  EXPECT_EQ(Position(), L"ROOT");
}

TEST_F(BrowseAddressSpace, EachConnectionHasItsOwnPosition) {
  ComPtr<IOPCServer> other = Connect();
  ASSERT_TRUE(other);
  auto otherSpace = other.Query<IOPCBrowseServerAddressSpace>();
  ASSERT_TRUE(otherSpace);
  ASSERT_HR(Move(OPC_BROWSE_DOWN, L"Tank1"), S_OK);
  EXPECT_EQ(Position(otherSpace.Get()), L"ROOT");
  EXPECT_EQ(Position(), L"Tank1");
}

TEST_F(BrowseAddressSpace, LeafFilterAppliesTheNameFilterAtThePosition) {
  ASSERT_HR(Move(OPC_BROWSE_DOWN, L"Tank1"), S_OK);
  EXPECT_EQ(List(OPC_LEAF, L"T*"), (std::pair<Hr, Ids>{S_OK, {L"Temp"}}));
  EXPECT_EQ(List(OPC_LEAF), (std::pair<Hr, Ids>{S_OK, {L"Level", L"Temp"}}));
}

TEST_F(BrowseAddressSpace, BranchFilterIgnoresTheNameFilter) {
  EXPECT_EQ(List(OPC_BRANCH, L"X*"), (std::pair<Hr, Ids>{S_OK, {L"Tank1", L"Boiler"}}));
}

TEST_F(BrowseAddressSpace, AccessAndDataTypeFiltersCompareWholeValues) {
  ASSERT_HR(Move(OPC_BROWSE_DOWN, L"Tank1"), S_OK);
  // Level is readable and writable (3): filter 1 is not a subset test.
  EXPECT_EQ(List(OPC_LEAF, L"", VT_EMPTY, OPC_READABLE), (std::pair<Hr, Ids>{S_OK, {L"Temp"}}));
  EXPECT_EQ(List(OPC_LEAF, L"", VT_EMPTY, OPC_READABLE | OPC_WRITEABLE), (std::pair<Hr, Ids>{S_OK, {L"Level"}}));
  EXPECT_EQ(List(OPC_LEAF, L"", VT_R4), (std::pair<Hr, Ids>{S_OK, {L"Temp"}}));
  EXPECT_EQ(List(OPC_LEAF, L"", VT_R8, OPC_READABLE), (std::pair<Hr, Ids>{S_FALSE, {}}));
}

TEST_F(BrowseAddressSpace, BadFilterTypeOrAccessFilterIsInvalid) {
  EXPECT_HR(List(OPCBROWSETYPE(0)).first.value, E_INVALIDARG);
  EXPECT_HR(List(OPCBROWSETYPE(4)).first.value, E_INVALIDARG);
  EXPECT_HR(List(OPC_LEAF, L"", VT_EMPTY, 4).first.value, E_INVALIDARG);
}

TEST_F(BrowseAddressSpace, NoMatchGivesSFalseAndAnEmptyEnumerator) {
  EXPECT_EQ(List(OPC_LEAF, L"Z*"), (std::pair<Hr, Ids>{S_FALSE, {}}));
  ASSERT_HR(Move(OPC_BROWSE_DOWN, L"Tank1"), S_OK);
  EXPECT_EQ(List(OPC_BRANCH), (std::pair<Hr, Ids>{S_FALSE, {}}));
}

TEST_F(BrowseAddressSpace, GetItemIdJoinsThePositionAndTheName) {
  EXPECT_EQ(ItemIdOf(L""), (std::pair<Hr, std::wstring>{S_OK, L"ROOT"}));
  EXPECT_EQ(ItemIdOf(L"Tank1.Level"), (std::pair<Hr, std::wstring>{S_OK, L"Tank1.Level"}));
  ASSERT_HR(Move(OPC_BROWSE_DOWN, L"Tank1"), S_OK);
  EXPECT_EQ(ItemIdOf(L"Level"), (std::pair<Hr, std::wstring>{S_OK, L"Tank1.Level"}));
  // The stored name is returned, not the spelling asked for.
  EXPECT_EQ(ItemIdOf(L"TEMP"), (std::pair<Hr, std::wstring>{S_OK, L"Tank1.Temp"}));
  EXPECT_EQ(ItemIdOf(L""), (std::pair<Hr, std::wstring>{S_OK, L"Tank1"}));
  EXPECT_EQ(ItemIdOf(L"Pump"), (std::pair<Hr, std::wstring>{OPC_E_UNKNOWNITEMID, L"<null>"}));
}

TEST_F(BrowseAddressSpace, BrowseAccessPathsIsNotImplemented) {
  ComPtr<IEnumString> e;
  EXPECT_HR(space_->BrowseAccessPaths(L"Tank1.Level", e.Put()), E_NOTIMPL);
  EXPECT_FALSE(e);
}

// Three levels under the root, leaves at each, for the flat listing.
class BrowseFlat : public BrowseFixture {
 protected:
  std::vector<std::string> Tags() const override {
    return {"Area1.Line1.Speed 5 3 1.5", "Area1.Line1.Count 3 1 7", "Area1.Line2.Speed 4 3 2",
            "Area1.Mode 3 3 1",          "Area2.Pump 3 3 4",        "Top 5 1 0"};
  }

  // OPC_FLAT's listing, in the order of the item IDs: the order it comes in is
  // the server's own.
  std::pair<Hr, Ids> Flat(const wchar_t* filter = L"", VARTYPE dataType = VT_EMPTY, DWORD rights = 0) {
    auto listed = List(OPC_FLAT, filter, dataType, rights);
    std::ranges::sort(listed.second);
    return listed;
  }
};

TEST_F(BrowseFlat, ListsEveryLeafAtAndBelowThePositionByItsFullItemId) {
  EXPECT_EQ(Flat(), (std::pair<Hr, Ids>{S_OK,
                                         {L"Area1.Line1.Count", L"Area1.Line1.Speed", L"Area1.Line2.Speed",
                                          L"Area1.Mode", L"Area2.Pump", L"Top"}}));
  ASSERT_HR(Move(OPC_BROWSE_DOWN, L"Area1"), S_OK);
  EXPECT_EQ(Flat(), (std::pair<Hr, Ids>{
                        S_OK, {L"Area1.Line1.Count", L"Area1.Line1.Speed", L"Area1.Line2.Speed", L"Area1.Mode"}}));
  ASSERT_HR(Move(OPC_BROWSE_DOWN, L"Line1"), S_OK);
  EXPECT_EQ(Flat(), (std::pair<Hr, Ids>{S_OK, {L"Area1.Line1.Count", L"Area1.Line1.Speed"}}));
}

TEST_F(BrowseFlat, FiltersApplyToEachLeafAsInTheLeafListing) {
  // The name filter matches the leaf's own name, not its item ID.
  EXPECT_EQ(Flat(L"S*"), (std::pair<Hr, Ids>{S_OK, {L"Area1.Line1.Speed", L"Area1.Line2.Speed"}}));
  EXPECT_EQ(Flat(L"Area*"), (std::pair<Hr, Ids>{S_FALSE, {}}));
  EXPECT_EQ(Flat(L"*Line*"), (std::pair<Hr, Ids>{S_FALSE, {}}));
  EXPECT_EQ(Flat(L"", VT_R8), (std::pair<Hr, Ids>{S_OK, {L"Area1.Line1.Speed", L"Top"}}));
  EXPECT_EQ(Flat(L"", VT_I4), (std::pair<Hr, Ids>{S_OK, {L"Area1.Line1.Count", L"Area1.Mode", L"Area2.Pump"}}));
  EXPECT_EQ(Flat(L"", VT_EMPTY, OPC_READABLE), (std::pair<Hr, Ids>{S_OK, {L"Area1.Line1.Count", L"Top"}}));
  EXPECT_EQ(Flat(L"S*", VT_R4, OPC_READABLE | OPC_WRITEABLE), (std::pair<Hr, Ids>{S_OK, {L"Area1.Line2.Speed"}}));
  ASSERT_HR(Move(OPC_BROWSE_DOWN, L"Area1"), S_OK);
  EXPECT_EQ(Flat(L"", VT_R8), (std::pair<Hr, Ids>{S_OK, {L"Area1.Line1.Speed"}}));
  EXPECT_EQ(Flat(L"Pump"), (std::pair<Hr, Ids>{S_FALSE, {}}));
}

TEST_F(BrowseFlat, GetItemIdGivesBackEachListedIdUnchanged) {
  for (const wchar_t* position : {L"", L"Area1", L"Area1.Line1"}) {
    SCOPED_TRACE("position " + Narrow(position));
    ASSERT_HR(Move(OPC_BROWSE_TO, position), S_OK);
    auto [hr, ids] = Flat();
    ASSERT_HR(hr.value, S_OK);
    ASSERT_FALSE(ids.empty());
    for (const auto& id : ids) EXPECT_EQ(ItemIdOf(id.c_str()), (std::pair<Hr, std::wstring>{S_OK, id}));
  }
  // Names relative to the position still resolve as before.
  ASSERT_HR(Move(OPC_BROWSE_TO, L"Area1"), S_OK);
  EXPECT_EQ(ItemIdOf(L"Line1.Speed"), (std::pair<Hr, std::wstring>{S_OK, L"Area1.Line1.Speed"}));
  EXPECT_EQ(ItemIdOf(L"Mode"), (std::pair<Hr, std::wstring>{S_OK, L"Area1.Mode"}));
}

// --- IOPCBrowse ----------------------------------------------------------

TEST_F(BrowseV3, PagingHandsOutTheNameOfTheLastElementAsContinuationPoint) {
  Browsed first = Browse(browse_.Get(), {.max = 2});
  ASSERT_HR(first.hr.value, S_OK);
  EXPECT_EQ(first.Names(), (Ids{L"Tank1", L"Pump"}));
  EXPECT_NE(first.more, FALSE);
  EXPECT_EQ(first.point, std::optional<std::wstring>(L"Pump"));

  Browsed second = Browse(browse_.Get(), {.point = first.point, .max = 2});
  ASSERT_HR(second.hr.value, S_OK);
  EXPECT_EQ(second.Names(), (Ids{L"Valve", L"Boiler"}));
  EXPECT_NE(second.more, FALSE);
  EXPECT_EQ(second.point, std::optional<std::wstring>(L"Boiler"));

  Browsed last = Browse(browse_.Get(), {.point = second.point, .max = 2});
  ASSERT_HR(last.hr.value, S_OK);
  EXPECT_EQ(last.Names(), (Ids{L"Alarm"}));
  EXPECT_EQ(last.more, FALSE);
  EXPECT_EQ(last.point, std::nullopt);
}

TEST_F(BrowseV3, WithoutALimitEverythingComesAtOnce) {
  Browsed all = Browse(browse_.Get(), {});
  ASSERT_HR(all.hr.value, S_OK);
  EXPECT_EQ(all.Names(), (Ids{L"Tank1", L"Pump", L"Valve", L"Boiler", L"Alarm"}));
  EXPECT_EQ(all.count, 5u);
  EXPECT_EQ(all.more, FALSE);
  EXPECT_EQ(all.point, std::nullopt);
}

TEST_F(BrowseV3, UnknownContinuationPointIsRefusedAndCleared) {
  Browsed b = Browse(browse_.Get(), {.point = L"nosuchchild", .max = 2});
  EXPECT_HR(b.hr.value, OPC_E_INVALIDCONTINUATIONPOINT);
  EXPECT_EQ(b.point, std::nullopt);
  EXPECT_EQ(b.count, 0u);
  EXPECT_TRUE(b.elementsNull);
  EXPECT_EQ(b.more, FALSE);
}

TEST_F(BrowseV3, LeafHasNoChildrenAndUnknownItemIsRefused) {
  Browsed leaf = Browse(browse_.Get(), {.itemId = L"Tank1.Level"});
  EXPECT_HR(leaf.hr.value, S_OK);
  EXPECT_EQ(leaf.count, 0u);
  EXPECT_TRUE(leaf.elementsNull);
  EXPECT_EQ(leaf.more, FALSE);

  Browsed unknown = Browse(browse_.Get(), {.itemId = L"Tank9"});
  EXPECT_HR(unknown.hr.value, OPC_E_UNKNOWNITEMID);
  EXPECT_EQ(unknown.count, 0u);
  EXPECT_TRUE(unknown.elementsNull);
}

TEST_F(BrowseV3, ElementsCarryNameItemIdAndKind) {
  Browsed root = Browse(browse_.Get(), {.max = 2});
  ASSERT_EQ(root.elements.size(), 2u);
  EXPECT_EQ(root.elements[0].itemId, L"Tank1");
  EXPECT_EQ(root.elements[0].flags, DWORD(OPC_BROWSE_HASCHILDREN));
  EXPECT_EQ(root.elements[1].itemId, L"Pump");
  EXPECT_EQ(root.elements[1].flags, DWORD(OPC_BROWSE_ISITEM));

  Browsed tank = Browse(browse_.Get(), {.itemId = L"tank1"});
  ASSERT_HR(tank.hr.value, S_OK);
  ASSERT_EQ(tank.elements.size(), 2u);
  EXPECT_EQ(tank.elements[0].name, L"Level");
  EXPECT_EQ(tank.elements[0].itemId, L"Tank1.Level");
  EXPECT_EQ(tank.elements[1].name, L"Temp");
  EXPECT_EQ(tank.elements[1].itemId, L"Tank1.Temp");
  for (const auto& e : tank.elements) {
    EXPECT_EQ(e.flags, DWORD(OPC_BROWSE_ISITEM));
    // No properties asked for: an empty, successful list.
    EXPECT_HR(e.list.error.value, S_OK);
    EXPECT_TRUE(e.list.properties.empty());
    EXPECT_TRUE(e.list.arrayNull);
  }
}

TEST_F(BrowseV3, AllPropertiesWithValues) {
  Browsed b = Browse(browse_.Get(), {.itemId = L"Tank1", .nameFilter = L"Level", .allProperties = TRUE,
                                     .values = TRUE});
  ASSERT_HR(b.hr.value, S_OK);
  ASSERT_EQ(b.elements.size(), 1u);
  const PropertyList& list = b.elements[0].list;
  EXPECT_HR(list.error.value, S_OK);
  ASSERT_EQ(list.properties.size(), 6u);
  for (size_t k = 0; k < 6; ++k) {
    const Property& p = list.properties[k];
    SCOPED_TRACE(Narrow(kStandardNames[k].c_str()));
    EXPECT_EQ(p.id, DWORD(k + 1));
    EXPECT_EQ(p.description, kStandardDescriptions[k]);
    EXPECT_EQ(p.itemId, L"Tank1.Level." + kStandardNames[k]);
    EXPECT_EQ(p.type, kStandardTypes[k]);
    EXPECT_EQ(p.valueType, kStandardTypes[k]);
    EXPECT_HR(p.error.value, S_OK);
  }
  EXPECT_EQ(list.properties[0].value, L"5");  // VT_R8
  EXPECT_EQ(list.properties[1].value, L"1.5");
  EXPECT_EQ(list.properties[2].value, L"192");  // quality good
  EXPECT_EQ(list.properties[4].value, L"3");
  // The scan rate in milliseconds.
  EXPECT_EQ(list.properties[5].value, std::to_wstring(kServerScanRate));
}

TEST_F(BrowseV3, AllPropertiesWithoutValuesLeaveThemEmpty) {
  Browsed b = Browse(browse_.Get(), {.itemId = L"Tank1", .allProperties = TRUE});
  ASSERT_HR(b.hr.value, S_OK);
  ASSERT_EQ(b.elements.size(), 2u);
  for (const auto& e : b.elements) {
    SCOPED_TRACE(Narrow(e.name.c_str()));
    EXPECT_HR(e.list.error.value, S_OK);
    ASSERT_EQ(e.list.properties.size(), 6u);
    for (size_t k = 0; k < 6; ++k) {
      EXPECT_EQ(e.list.properties[k].id, DWORD(k + 1));
      EXPECT_EQ(e.list.properties[k].description, kStandardDescriptions[k]);
      EXPECT_EQ(e.list.properties[k].itemId, L"Tank1." + e.name + L"." + kStandardNames[k]);
      if (k != 1) {
        EXPECT_EQ(e.list.properties[k].type, kStandardTypes[k]) << "property " << k + 1;
      }
      EXPECT_EQ(e.list.properties[k].valueType, VT_EMPTY);
    }
  }
  // The CV entry still reports the canonical type of each leaf.
  EXPECT_EQ(b.elements[0].list.properties[1].type, VT_R8);
  EXPECT_EQ(b.elements[1].list.properties[1].type, VT_R4);
}

TEST_F(BrowseV3, ChosenPropertiesMarkAnUnknownIdPerEntry) {
  Browsed b = Browse(browse_.Get(), {.itemId = L"Tank1", .nameFilter = L"Level", .values = TRUE, .ids = {2, 99, 6}});
  ASSERT_HR(b.hr.value, S_OK);
  ASSERT_EQ(b.elements.size(), 1u);
  const PropertyList& list = b.elements[0].list;
  EXPECT_HR(list.error.value, S_FALSE);
  ASSERT_EQ(list.properties.size(), 3u);
  EXPECT_EQ(list.properties[0].id, 2u);
  EXPECT_EQ(list.properties[0].valueType, VT_R8);
  EXPECT_EQ(list.properties[0].value, L"1.5");
  EXPECT_HR(list.properties[0].error.value, S_OK);
  EXPECT_HR(list.properties[1].error.value, OPC_E_INVALID_PID);
  EXPECT_EQ(list.properties[1].valueType, VT_EMPTY);
  EXPECT_EQ(list.properties[1].itemId, L"<null>");
  EXPECT_EQ(list.properties[1].description, L"<null>");
  EXPECT_EQ(list.properties[2].id, 6u);
  EXPECT_EQ(list.properties[2].itemId, L"Tank1.Level.SCANRATE");
  EXPECT_EQ(list.properties[2].description, L"Server Scan Rate");
  EXPECT_EQ(list.properties[2].type, VT_R4);
  EXPECT_EQ(list.properties[2].valueType, VT_R4);
  EXPECT_EQ(list.properties[2].value, std::to_wstring(kServerScanRate));
}

TEST_F(BrowseV3, BrowseAndNameFiltersSelectChildren) {
  EXPECT_EQ(Browse(browse_.Get(), {.filter = OPC_BROWSE_FILTER_BRANCHES}).Names(), (Ids{L"Tank1", L"Boiler"}));
  EXPECT_EQ(Browse(browse_.Get(), {.filter = OPC_BROWSE_FILTER_ITEMS}).Names(),
            (Ids{L"Pump", L"Valve", L"Alarm"}));
  EXPECT_EQ(Browse(browse_.Get(), {.nameFilter = L"[A-C]*"}).Names(), (Ids{L"Boiler", L"Alarm"}));
  EXPECT_EQ(Browse(browse_.Get(), {.filter = OPC_BROWSE_FILTER_ITEMS, .nameFilter = L"?a*"}).Names(),
            (Ids{L"Valve"}));
  EXPECT_EQ(Browse(browse_.Get(), {.filter = OPC_BROWSE_FILTER_BRANCHES, .nameFilter = L"t*"}).Names(),
            (Ids{L"Tank1"}));
  // An unknown browse filter passes nothing, successfully.
  Browsed none = Browse(browse_.Get(), {.filter = OPCBROWSEFILTER(7)});
  EXPECT_HR(none.hr.value, S_OK);
  EXPECT_EQ(none.count, 0u);
  EXPECT_TRUE(none.elementsNull);
}

TEST_F(BrowseV3, PagingWorksWithinAFilteredListing) {
  Browsed first = Browse(browse_.Get(), {.max = 1, .filter = OPC_BROWSE_FILTER_ITEMS});
  EXPECT_EQ(first.Names(), (Ids{L"Pump"}));
  EXPECT_EQ(first.point, std::optional<std::wstring>(L"Pump"));
  Browsed rest = Browse(browse_.Get(), {.point = first.point, .filter = OPC_BROWSE_FILTER_ITEMS});
  EXPECT_EQ(rest.Names(), (Ids{L"Valve", L"Alarm"}));
  EXPECT_EQ(rest.point, std::nullopt);
}

TEST_F(BrowseV3, GetPropertiesReportsUnknownItemsPerEntry) {
  std::wstring known = L"Tank1.Level", unknown = L"Tank1.Nothing";
  LPWSTR ids[] = {known.data(), unknown.data()};
  DWORD props[] = {1, 2};
  TaskMem<OPCITEMPROPERTIES> lists;
  ASSERT_HR(browse_->GetProperties(2, ids, TRUE, 2, props, lists.Put(2)), S_OK);
  ASSERT_NE(lists.Get(), nullptr);
  PropertyList first = CopyList(lists[0]);
  PropertyList second = CopyList(lists[1]);
  EXPECT_HR(first.error.value, S_OK);
  ASSERT_EQ(first.properties.size(), 2u);
  EXPECT_EQ(first.properties[0].id, 1u);
  EXPECT_EQ(first.properties[0].value, L"5");
  EXPECT_EQ(first.properties[1].id, 2u);
  EXPECT_EQ(first.properties[1].value, L"1.5");
  EXPECT_HR(second.error.value, OPC_E_UNKNOWNITEMID);
  EXPECT_TRUE(second.properties.empty());
  EXPECT_TRUE(second.arrayNull);
}

TEST_F(BrowseV3, GetPropertiesGivesAccessRightsAsI4AndTheScanRateAsR4) {
  // A property item ID names its tag: its properties are the tag's.
  std::wstring level = L"Tank1.Level", property = L"Tank1.Level.ACCESSRIGHT", temp = L"tank1.temp";
  LPWSTR ids[] = {level.data(), property.data(), temp.data()};
  DWORD props[] = {5, 6};
  TaskMem<OPCITEMPROPERTIES> lists;
  ASSERT_HR(browse_->GetProperties(3, ids, TRUE, 2, props, lists.Put(3)), S_OK);
  ASSERT_NE(lists.Get(), nullptr);
  std::vector<PropertyList> taken;
  for (DWORD i = 0; i < 3; ++i) taken.push_back(CopyList(lists[i]));
  const std::wstring rights[] = {L"3", L"3", L"1"};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(Narrow(ids[i]));
    const PropertyList& list = taken[i];
    EXPECT_HR(list.error.value, S_OK);
    ASSERT_EQ(list.properties.size(), 2u);
    const Property &access = list.properties[0], &scan = list.properties[1];
    EXPECT_EQ(access.id, 5u);
    EXPECT_EQ(access.description, L"Item Access Rights");
    EXPECT_EQ(access.type, VT_I4);
    EXPECT_EQ(access.valueType, VT_I4);
    EXPECT_EQ(access.value, rights[i]);
    EXPECT_EQ(scan.id, 6u);
    EXPECT_EQ(scan.description, L"Server Scan Rate");
    EXPECT_EQ(scan.type, VT_R4);
    EXPECT_EQ(scan.valueType, VT_R4);
    EXPECT_EQ(scan.value, std::to_wstring(kServerScanRate));
  }
  EXPECT_EQ(taken[1].properties[0].itemId, L"Tank1.Level.ACCESSRIGHT");
  EXPECT_EQ(taken[2].properties[1].itemId, L"Tank1.Temp.SCANRATE");
}

TEST_F(BrowseV3, APropertyItemIdBrowsesAsItsTag) {
  for (const wchar_t* id : {L"Tank1.Level.ACCESSRIGHT", L"Tank1.Level.SCANRATE", L"tank1.level.cv"}) {
    Browsed b = Browse(browse_.Get(), {.itemId = id});
    EXPECT_HR(b.hr.value, S_OK) << Narrow(id);
    EXPECT_EQ(b.count, 0u) << Narrow(id);
    EXPECT_TRUE(b.elementsNull) << Narrow(id);
  }
  EXPECT_HR(Browse(browse_.Get(), {.itemId = L"Tank1.Level.NOSUCH"}).hr.value, OPC_E_UNKNOWNITEMID);
}

TEST_F(BrowseV3, GetPropertiesWithoutItemsIsInvalid) {
  TaskMem<OPCITEMPROPERTIES> lists;
  std::wstring id = L"Tank1.Level";
  LPWSTR ids[] = {id.data()};
  DWORD none = 0;
  EXPECT_HR(browse_->GetProperties(0, ids, FALSE, 0, &none, lists.Put()), E_INVALIDARG);
  EXPECT_EQ(lists.Get(), nullptr);
}

// Siblings whose names differ only in case: the server must page over them
// without repeating or skipping one.
class BrowseSameNames : public BrowseFixture {
 protected:
  std::vector<std::string> Tags() const override {
    return {"Dup.A 3 3 1", "Dup.a 3 3 2", "Dup.B 3 3 3", "Mix.A 3 3 1", "Mix.a 3 3 2", "Mix.B 3 3 3", "Mix.C 3 3 4"};
  }
};

TEST_F(BrowseSameNames, PagingOneByOneReturnsEachChildOnce) {
  std::vector<std::wstring> seen, values;
  std::optional<std::wstring> point;
  std::vector<std::optional<std::wstring>> points;
  for (int page = 0; page < 5; ++page) {
    Browsed b = Browse(browse_.Get(), {.itemId = L"Dup", .point = point, .max = 1, .values = TRUE, .ids = {2}});
    ASSERT_HR(b.hr.value, S_OK) << "page " << page;
    ASSERT_EQ(b.elements.size(), 1u) << "page " << page;
    seen.push_back(b.elements[0].name);
    // The value tells the two siblings apart even where the names do not.
    ASSERT_EQ(b.elements[0].list.properties.size(), 1u);
    values.push_back(b.elements[0].list.properties[0].value);
    points.push_back(b.point);
    if (!b.point) {
      EXPECT_EQ(b.more, FALSE);
      break;
    }
    EXPECT_NE(b.more, FALSE);
    point = b.point;
  }
  EXPECT_EQ(seen, (Ids{L"A", L"a", L"B"}));
  EXPECT_EQ(values, (Ids{L"1", L"2", L"3"}));
  ASSERT_EQ(points.size(), 3u);
  // The points for A and a are opaque but must differ, or the second page
  // could not resume after the right one.
  ASSERT_TRUE(points[0] && points[1]);
  EXPECT_NE(*points[0], *points[1]);
  EXPECT_EQ(points[2], std::nullopt);
}

TEST_F(BrowseSameNames, PagingByTwoResumesAfterTheSecondOfTwoSameNames) {
  Browsed first = Browse(browse_.Get(), {.itemId = L"Dup", .max = 2});
  ASSERT_HR(first.hr.value, S_OK);
  EXPECT_EQ(first.Names(), (Ids{L"A", L"a"}));
  ASSERT_TRUE(first.point);
  Browsed rest = Browse(browse_.Get(), {.itemId = L"Dup", .point = first.point, .max = 2});
  ASSERT_HR(rest.hr.value, S_OK);
  EXPECT_EQ(rest.Names(), (Ids{L"B"}));
  EXPECT_EQ(rest.point, std::nullopt);
}

TEST_F(BrowseSameNames, UnambiguousPointIsThePlainName) {
  std::optional<std::wstring> point;
  Ids seen;
  for (int page = 0; page < 3; ++page) {
    Browsed b = Browse(browse_.Get(), {.itemId = L"Mix", .point = point, .max = 1});
    ASSERT_HR(b.hr.value, S_OK) << "page " << page;
    ASSERT_EQ(b.elements.size(), 1u);
    seen.push_back(b.elements[0].name);
    point = b.point;
  }
  EXPECT_EQ(seen, (Ids{L"A", L"a", L"B"}));
  EXPECT_EQ(point, std::optional<std::wstring>(L"B"));
  // A point the client spells itself resumes after the child it names.
  Browsed rest = Browse(browse_.Get(), {.itemId = L"Mix", .point = L"b"});
  EXPECT_HR(rest.hr.value, S_OK);
  EXPECT_EQ(rest.Names(), (Ids{L"C"}));
}

}  // namespace
}  // namespace e2e
