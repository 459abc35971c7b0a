// IOPCItemProperties and IOPCItemIO seen by an out-of-process client: items
// reached by item ID without a group, with the host's read and write
// callbacks recorded meanwhile.
#include "opc_client.h"

namespace e2e {
namespace {

using Strings = std::vector<std::string>;
using Ids = std::vector<std::wstring>;

class ItemIoFixture : public HostedServer {
 protected:
  std::vector<std::string> Tags() const override {
    return {"Tank1.Level 5 3 1.5", "Tank1.Temp 4 1 20", "Counter 3 3 7", "WriteOnly 3 2 5", "ReadOnly 3 1 9",
            "Short 2 3 3", "Label 8 3 x"};
  }

  void SetUp() override {
    HostedServer::SetUp();
    if (HasFatalFailure()) return;
    properties_ = server_.Query<IOPCItemProperties>();
    io_ = server_.Query<IOPCItemIO>();
    ASSERT_TRUE(properties_);
    ASSERT_TRUE(io_);
  }

  void TearDown() override {
    properties_.Reset();
    io_.Reset();
    HostedServer::TearDown();
  }

  ComPtr<IOPCItemProperties> properties_;
  ComPtr<IOPCItemIO> io_;
};

class ItemProperties : public ItemIoFixture {};
class ItemIo : public ItemIoFixture {};

std::wstring Text(const VARIANT& v) {
  if (V_VT(&v) == VT_EMPTY) return L"<empty>";
  Variant text;
  std::wstring shown = L"<unconvertible>";
  if (SUCCEEDED(VariantChangeTypeEx(&text, const_cast<VARIANT*>(&v), LOCALE_INVARIANT, 0, VT_BSTR)))
    shown = V_BSTR(&text);
  return shown;
}

// --- IOPCItemProperties --------------------------------------------------

struct Available {
  Hr hr = E_FAIL;
  std::vector<DWORD> ids;
  Ids descriptions;
  std::vector<VARTYPE> types;
};

Available QueryAvailable(IOPCItemProperties* p, std::wstring itemId) {
  Available out;
  DWORD count = 0;
  TaskMem<DWORD> ids;
  TaskMem<LPWSTR> descriptions;
  TaskMem<VARTYPE> types;
  out.hr = p->QueryAvailableProperties(itemId.data(), &count, ids.Put(), descriptions.Put(), types.Put());
  ids.SetCount(count);
  descriptions.SetCount(count);
  types.SetCount(count);
  if (FAILED(out.hr.value)) {
    EXPECT_TRUE(!ids.Get() && !descriptions.Get() && !types.Get()) << "arrays came with " << HrName(out.hr.value);
    return out;
  }
  for (DWORD i = 0; i < count; ++i) {
    out.ids.push_back(ids.Get() ? ids[i] : 0);
    out.descriptions.push_back(descriptions.Get() && descriptions[i] ? descriptions[i] : L"<null>");
    out.types.push_back(types.Get() ? types[i] : VARTYPE(0xFFFF));
  }
  return out;
}

struct Values {
  Hr hr = E_FAIL;
  std::vector<VARTYPE> types;
  Ids values;
  Codes errors;
  bool null = true;
};

Values GetProps(IOPCItemProperties* p, std::wstring itemId, std::vector<DWORD> ids) {
  Values out;
  const DWORD n = DWORD(ids.size());
  TaskMem<VARIANT> data;
  TaskMem<HRESULT> errors;
  DWORD none = 0;
  out.hr = p->GetItemProperties(itemId.data(), n, ids.empty() ? &none : ids.data(), data.Put(n), errors.Put(n));
  out.null = !data.Get() && !errors.Get();
  for (size_t i = 0; data.Get() && errors.Get() && i < n; ++i) {
    out.types.push_back(V_VT(&data[i]));
    out.values.push_back(Text(data[i]));
    out.errors.push_back(errors[i]);
  }
  return out;
}

struct Lookup {
  Hr hr = E_FAIL;
  Ids itemIds;
  Codes errors;
  bool null = true;
};

Lookup LookupIds(IOPCItemProperties* p, std::wstring itemId, std::vector<DWORD> ids) {
  Lookup out;
  const DWORD n = DWORD(ids.size());
  TaskMem<LPWSTR> names;
  TaskMem<HRESULT> errors;
  DWORD none = 0;
  out.hr = p->LookupItemIDs(itemId.data(), n, ids.empty() ? &none : ids.data(), names.Put(n), errors.Put(n));
  out.null = !names.Get() && !errors.Get();
  for (size_t i = 0; names.Get() && errors.Get() && i < n; ++i) {
    out.itemIds.push_back(names[i] ? names[i] : L"<null>");
    out.errors.push_back(errors[i]);
  }
  return out;
}

const Ids kStandardDescriptions = {L"Item Canonical DataType", L"Item Value",         L"Item Quality",
                                   L"Item Timestamp",          L"Item Access Rights", L"Server Scan Rate"};
const std::vector<DWORD> kStandardIds = {1, 2, 3, 4, 5, 6};

TEST_F(ItemProperties, ALeafHasTheSixStandardProperties) {
  Available a = QueryAvailable(properties_.Get(), L"Tank1.Level");
  ASSERT_HR(a.hr.value, S_OK);
  EXPECT_EQ(a.ids, kStandardIds);
  EXPECT_EQ(a.descriptions, kStandardDescriptions);
  EXPECT_EQ(a.types, (std::vector<VARTYPE>{VT_I2, VT_R8, VT_I2, VT_DATE, VT_I4, VT_R4}));

  // The CV entry follows each tag's canonical type.
  Available temp = QueryAvailable(properties_.Get(), L"Tank1.Temp");
  ASSERT_HR(temp.hr.value, S_OK);
  EXPECT_EQ(temp.types, (std::vector<VARTYPE>{VT_I2, VT_R4, VT_I2, VT_DATE, VT_I4, VT_R4}));
}

TEST_F(ItemProperties, ABranchHasThemToo) {
  Available a = QueryAvailable(properties_.Get(), L"Tank1");
  ASSERT_HR(a.hr.value, S_OK);
  EXPECT_EQ(a.ids, kStandardIds);
  EXPECT_EQ(a.descriptions, kStandardDescriptions);
}

TEST_F(ItemProperties, GetItemPropertiesReportsAnUnknownIdPerEntry) {
  Values v = GetProps(properties_.Get(), L"Tank1.Level", {2, 99});
  EXPECT_HR(v.hr.value, S_FALSE);
  EXPECT_EQ(v.errors, (Codes{S_OK, OPC_E_INVALID_PID}));
  EXPECT_EQ(v.types, (std::vector<VARTYPE>{VT_R8, VT_EMPTY}));
  EXPECT_EQ(v.values, (Ids{L"1.5", L"<empty>"}));
}

TEST_F(ItemProperties, StandardValuesComeFromTheTagAndTheServer) {
  Values v = GetProps(properties_.Get(), L"Tank1.Level", kStandardIds);
  ASSERT_HR(v.hr.value, S_OK);
  EXPECT_EQ(v.errors, Codes(6, S_OK));
  EXPECT_EQ(v.types, (std::vector<VARTYPE>{VT_I2, VT_R8, VT_I2, VT_DATE, VT_I4, VT_R4}));
  ASSERT_EQ(v.values.size(), 6u);
  EXPECT_EQ(v.values[0], L"5");    // VT_R8
  EXPECT_EQ(v.values[1], L"1.5");
  EXPECT_EQ(v.values[2], L"192");  // quality good
  EXPECT_EQ(v.values[4], L"3");
  // The host created the server with this scan rate, in milliseconds.
  EXPECT_EQ(v.values[5], std::to_wstring(kServerScanRate));

  Values ro = GetProps(properties_.Get(), L"ReadOnly", {5, 1, 6});
  EXPECT_EQ(ro.types, (std::vector<VARTYPE>{VT_I4, VT_I2, VT_R4}));
  EXPECT_EQ(ro.values, (Ids{L"1", L"3", std::to_wstring(kServerScanRate)}));
}

TEST_F(ItemProperties, TimePropertyIsTheTagTimestampInUtc) {
  SYSTEMTIME before{}, after{};
  GetSystemTime(&before);
  ASSERT_TRUE(host_->Command("update Counter 8"));
  GetSystemTime(&after);
  double low = 0, high = 0;
  SystemTimeToVariantTime(&before, &low);
  SystemTimeToVariantTime(&after, &high);
  DWORD id = 4;
  TaskMem<VARIANT> data;
  TaskMem<HRESULT> errors;
  std::wstring item = L"Counter";
  ASSERT_HR(properties_->GetItemProperties(item.data(), 1, &id, data.Put(1), errors.Put(1)), S_OK);
  ASSERT_NE(data.Get(), nullptr);
  VARTYPE type = V_VT(&data[0]);
  double stamp = V_DATE(&data[0]);
  ASSERT_EQ(type, VT_DATE);
  // DATE resolution of SystemTimeToVariantTime is one second.
  const double second = 1.0 / 86400;
  EXPECT_GE(stamp, low - second);
  EXPECT_LE(stamp, high + second);
}

TEST_F(ItemProperties, LookupItemIdsAppendsThePropertyName) {
  Lookup l = LookupIds(properties_.Get(), L"Tank1.Level", {3, 1, 99, 6});
  EXPECT_HR(l.hr.value, S_FALSE);
  EXPECT_EQ(l.errors, (Codes{S_OK, S_OK, OPC_E_INVALID_PID, S_OK}));
  EXPECT_EQ(l.itemIds, (Ids{L"Tank1.Level.QUALITY", L"Tank1.Level.DATATYPE", L"<null>", L"Tank1.Level.SCANRATE"}));

  Lookup all = LookupIds(properties_.Get(), L"Counter", kStandardIds);
  EXPECT_HR(all.hr.value, S_OK);
  EXPECT_EQ(all.itemIds, (Ids{L"Counter.DATATYPE", L"Counter.CV", L"Counter.QUALITY", L"Counter.TIME",
                              L"Counter.ACCESSRIGHT", L"Counter.SCANRATE"}));
}

TEST_F(ItemProperties, APropertyItemIdNamesTheTagItself) {
  Available a = QueryAvailable(properties_.Get(), L"Tank1.Level.QUALITY");
  EXPECT_HR(a.hr.value, S_OK);
  EXPECT_EQ(a.ids, kStandardIds);
  Values v = GetProps(properties_.Get(), L"tank1.level.cv", {2});
  EXPECT_HR(v.hr.value, S_OK);
  EXPECT_EQ(v.values, Ids{L"1.5"});
  Values rights = GetProps(properties_.Get(), L"Tank1.Level.ACCESSRIGHT", {5, 6});
  EXPECT_HR(rights.hr.value, S_OK);
  EXPECT_EQ(rights.types, (std::vector<VARTYPE>{VT_I4, VT_R4}));
  EXPECT_EQ(rights.values, (Ids{L"3", std::to_wstring(kServerScanRate)}));
  Lookup l = LookupIds(properties_.Get(), L"Tank1.Level.QUALITY", {2, 5});
  EXPECT_HR(l.hr.value, S_OK);
  EXPECT_EQ(l.itemIds, (Ids{L"Tank1.Level.CV", L"Tank1.Level.ACCESSRIGHT"}));
}

TEST_F(ItemProperties, EmptyIdIsInvalidAndAnUnknownOneUnknown) {
  EXPECT_HR(QueryAvailable(properties_.Get(), L"").hr.value, OPC_E_INVALIDITEMID);
  Values emptyGet = GetProps(properties_.Get(), L"", {1});
  EXPECT_HR(emptyGet.hr.value, OPC_E_INVALIDITEMID);
  EXPECT_TRUE(emptyGet.null);
  Lookup emptyLookup = LookupIds(properties_.Get(), L"", {1});
  EXPECT_HR(emptyLookup.hr.value, OPC_E_INVALIDITEMID);
  EXPECT_TRUE(emptyLookup.null);

  EXPECT_HR(QueryAvailable(properties_.Get(), L"Tank1.Nothing").hr.value, OPC_E_UNKNOWNITEMID);
  // A name after a leaf must be one of its properties.
  EXPECT_HR(QueryAvailable(properties_.Get(), L"Tank1.Level.XYZ").hr.value, OPC_E_UNKNOWNITEMID);
  Values unknownGet = GetProps(properties_.Get(), L"Nothing", {1});
  EXPECT_HR(unknownGet.hr.value, OPC_E_UNKNOWNITEMID);
  EXPECT_TRUE(unknownGet.null);
  Lookup unknownLookup = LookupIds(properties_.Get(), L"Nothing", {1});
  EXPECT_HR(unknownLookup.hr.value, OPC_E_UNKNOWNITEMID);
  EXPECT_TRUE(unknownLookup.null);
}

TEST_F(ItemProperties, ZeroCountIsInvalidBeforeTheItemIdIsLookedAt) {
  Values get = GetProps(properties_.Get(), L"", {});
  EXPECT_HR(get.hr.value, E_INVALIDARG);
  EXPECT_TRUE(get.null);
  Lookup lookup = LookupIds(properties_.Get(), L"", {});
  EXPECT_HR(lookup.hr.value, E_INVALIDARG);
  EXPECT_TRUE(lookup.null);
  EXPECT_HR(GetProps(properties_.Get(), L"Counter", {}).hr.value, E_INVALIDARG);
}

// --- IOPCItemIO ----------------------------------------------------------

struct ReadEntry {
  VARTYPE type;
  std::wstring value;
  WORD quality;
  FILETIME stamp;
};

struct ReadResult {
  Hr hr = E_FAIL;
  std::vector<ReadEntry> entries;
  Codes errors;
  bool null = true;
  Ids Values() const {
    Ids v;
    for (const auto& e : entries) v.push_back(e.value);
    return v;
  }
};

ReadResult ReadItems(IOPCItemIO* io, const std::vector<std::wstring>& ids, DWORD maxAge) {
  ReadResult out;
  std::vector<LPCWSTR> names;
  for (const auto& id : ids) names.push_back(id.c_str());
  std::vector<DWORD> ages(ids.size(), maxAge);
  // The arrays are reference parameters: the proxy refuses null even with a
  // count of zero.
  LPCWSTR noName = L"";
  DWORD noAge = 0;
  const DWORD n = DWORD(ids.size());
  TaskMem<VARIANT> values;
  TaskMem<WORD> qualities;
  TaskMem<FILETIME> stamps;
  TaskMem<HRESULT> errors;
  out.hr = io->Read(n, ids.empty() ? &noName : names.data(), ids.empty() ? &noAge : ages.data(), values.Put(n),
                    qualities.Put(n), stamps.Put(n), errors.Put(n));
  out.null = !values.Get() && !qualities.Get() && !stamps.Get() && !errors.Get();
  for (size_t i = 0; values.Get() && qualities.Get() && stamps.Get() && errors.Get() && i < n; ++i) {
    out.entries.push_back({V_VT(&values[i]), Text(values[i]), qualities[i], stamps[i]});
    out.errors.push_back(errors[i]);
  }
  return out;
}

ULONGLONG Ticks(const FILETIME& t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

ULONGLONG Now() {
  FILETIME t;
  GetSystemTimeAsFileTime(&t);
  return Ticks(t);
}

struct Vqt {
  std::wstring itemId;
  Variant value;
  bool quality = false;
  WORD qualityValue = 0;
};

// WriteVQT over item IDs and values; the VQT records' own quality and time
// are set only where a case asks for them.
std::pair<Hr, Codes> Write(IOPCItemIO* io, std::vector<Vqt> items) {
  std::vector<LPCWSTR> names;
  std::vector<OPCITEMVQT> vqts;
  for (auto& item : items) {
    names.push_back(item.itemId.c_str());
    OPCITEMVQT vqt{};
    vqt.vDataValue = item.value.Get();
    vqt.bQualitySpecified = item.quality;
    vqt.wQuality = item.qualityValue;
    if (item.quality) {
      vqt.bTimeStampSpecified = TRUE;
      vqt.ftTimeStamp = {1, 1};
    }
    vqts.push_back(vqt);
  }
  const DWORD n = DWORD(items.size());
  TaskMem<HRESULT> errors;
  HRESULT hr = io->WriteVQT(n, names.data(), vqts.data(), errors.Put(n));
  return {hr, CodesOf(errors)};
}

Variant Bstr(const wchar_t* text) {
  Variant v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(text);
  return v;
}

Variant I4(LONG n) {
  Variant v;
  V_VT(&v) = VT_I4;
  V_I4(&v) = n;
  return v;
}

constexpr DWORD kAnyAge = 0xFFFFFFFF;

TEST_F(ItemIo, LargeMaxAgeReadsTheCacheWithoutTheHost) {
  ULONGLONG start = Now();
  ReadResult r = ReadItems(io_.Get(), {L"Tank1.Level"}, kAnyAge);
  ASSERT_HR(r.hr.value, S_OK);
  ASSERT_EQ(r.entries.size(), 1u);
  EXPECT_EQ(r.errors, Codes{S_OK});
  EXPECT_EQ(r.entries[0].type, VT_R8);
  EXPECT_EQ(r.entries[0].value, L"1.5");
  EXPECT_EQ(r.entries[0].quality, 0xC0);
  // Registered just before the test began.
  EXPECT_NE(Ticks(r.entries[0].stamp), 0u);
  EXPECT_LE(Ticks(r.entries[0].stamp), start);
  EXPECT_TRUE(Lines("read ").empty());
}

TEST_F(ItemIo, MaxAgeZeroAsksTheHostFirst) {
  ULONGLONG before = Now();
  ReadResult r = ReadItems(io_.Get(), {L"Tank1.Level"}, 0);
  ULONGLONG after = Now();
  ASSERT_HR(r.hr.value, S_OK);
  ASSERT_EQ(r.entries.size(), 1u);
  EXPECT_EQ(Lines("read "), Strings{"read Tank1.Level"});
  // The host's answer, the number of device reads so far, in the tag's type.
  EXPECT_EQ(r.entries[0].type, VT_R8);
  EXPECT_EQ(r.entries[0].value, L"1");
  EXPECT_EQ(r.entries[0].quality, 0xC0);
  EXPECT_GE(Ticks(r.entries[0].stamp), before);
  EXPECT_LE(Ticks(r.entries[0].stamp), after);

  // The host's value is now the cache.
  ReadResult cached = ReadItems(io_.Get(), {L"Tank1.Level"}, kAnyAge);
  EXPECT_EQ(cached.Values(), Ids{L"1"});
  ASSERT_EQ(cached.entries.size(), 1u);
  EXPECT_EQ(cached.entries[0].type, VT_R8);
  EXPECT_EQ(Lines("read ").size(), 1u);
}

TEST_F(ItemIo, WriteOnlyTagIsRefusedWhileOthersAreRead) {
  ReadResult r = ReadItems(io_.Get(), {L"Counter", L"WriteOnly", L"Tank1.Level"}, kAnyAge);
  EXPECT_HR(r.hr.value, S_FALSE);
  EXPECT_EQ(r.errors, (Codes{S_OK, OPC_E_BADRIGHTS, S_OK}));
  ASSERT_EQ(r.entries.size(), 3u);
  EXPECT_EQ(r.Values(), (Ids{L"7", L"<empty>", L"1.5"}));
  EXPECT_EQ(r.entries[0].quality, 0xC0);
  EXPECT_EQ(r.entries[2].quality, 0xC0);
  // A failed item's quality and timestamp are zero, not left over memory.
  EXPECT_EQ(r.entries[1].quality, 0);
  EXPECT_EQ(Ticks(r.entries[1].stamp), 0u);
  EXPECT_TRUE(Lines("read ").empty());
}

TEST_F(ItemIo, EmptyOrUnknownIdsFailOnlyTheirOwnEntry) {
  ReadResult r = ReadItems(io_.Get(), {L"Counter", L"", L"Tank1.Nothing", L"tank1.temp"}, kAnyAge);
  EXPECT_HR(r.hr.value, S_FALSE);
  EXPECT_EQ(r.errors, (Codes{S_OK, OPC_E_INVALIDITEMID, OPC_E_UNKNOWNITEMID, S_OK}));
  ASSERT_EQ(r.entries.size(), 4u);
  EXPECT_EQ(r.Values(), (Ids{L"7", L"<empty>", L"<empty>", L"20"}));
  for (size_t i : {1, 2}) {
    EXPECT_EQ(r.entries[i].quality, 0) << "entry " << i;
    EXPECT_EQ(Ticks(r.entries[i].stamp), 0u) << "entry " << i;
  }
}

TEST_F(ItemIo, AFailingHostReadIsTheItemsError) {
  ASSERT_TRUE(host_->Command("readresult 80004005"));
  ReadResult r = ReadItems(io_.Get(), {L"Counter", L"Tank1.Level"}, 0);
  EXPECT_HR(r.hr.value, S_FALSE);
  EXPECT_EQ(r.errors, (Codes{E_FAIL, E_FAIL}));
  EXPECT_EQ(r.Values(), (Ids{L"<empty>", L"<empty>"}));
  for (const auto& e : r.entries) {
    EXPECT_EQ(e.quality, 0);
    EXPECT_EQ(Ticks(e.stamp), 0u);
  }
  EXPECT_EQ(Lines("read "), (Strings{"read Counter", "read Tank1.Level"}));
}

TEST_F(ItemIo, AHostAnswerOfAnotherTypeIsConvertedToTheTagsType) {
  // Short 3 is a VT_I2 tag; the host answers VT_I4.
  ASSERT_TRUE(host_->Command("readvalue 3 1234"));
  ASSERT_EQ(Lines("readvalue "), Strings{"readvalue 1"});
  ReadResult r = ReadItems(io_.Get(), {L"Short", L"Counter"}, 0);
  ASSERT_HR(r.hr.value, S_OK);
  ASSERT_EQ(r.entries.size(), 2u);
  EXPECT_EQ(r.entries[0].type, VT_I2);
  EXPECT_EQ(r.entries[0].value, L"1234");
  EXPECT_EQ(r.entries[0].quality, 0xC0);
  EXPECT_EQ(r.entries[1].type, VT_I4);
  EXPECT_EQ(r.entries[1].value, L"1234");
  ReadResult cached = ReadItems(io_.Get(), {L"Short"}, kAnyAge);
  ASSERT_EQ(cached.entries.size(), 1u);
  EXPECT_EQ(cached.entries[0].type, VT_I2);
  EXPECT_EQ(cached.entries[0].value, L"1234");
}

TEST_F(ItemIo, AnUnconvertibleHostAnswerIsTheItemsErrorAndKeepsTheTagsValue) {
  const struct {
    const char* answer;
    const wchar_t* tag;
    HRESULT error;
    const wchar_t* kept;
    const wchar_t* other;  // a tag of a type that takes the answer
  } cases[] = {{"8 abc", L"Counter", DISP_E_TYPEMISMATCH, L"7", L"Label"},
               {"3 70000", L"Short", DISP_E_OVERFLOW, L"3", L"Counter"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer);
    ASSERT_TRUE(host_->Command(std::string("readvalue ") + c.answer));
    ReadResult r = ReadItems(io_.Get(), {c.tag, c.other}, 0);
    EXPECT_HR(r.hr.value, S_FALSE);
    ASSERT_EQ(r.entries.size(), 2u);
    EXPECT_HR(r.errors[0].value, c.error);
    EXPECT_EQ(r.entries[0].value, L"<empty>");
    EXPECT_EQ(r.entries[0].quality, 0);
    EXPECT_EQ(Ticks(r.entries[0].stamp), 0u);
    EXPECT_HR(r.errors[1].value, S_OK);
    EXPECT_EQ(r.entries[1].quality, 0xC0);

    ReadResult cached = ReadItems(io_.Get(), {c.tag}, kAnyAge);
    ASSERT_EQ(cached.entries.size(), 1u);
    EXPECT_EQ(cached.errors, Codes{S_OK});
    EXPECT_EQ(cached.entries[0].value, c.kept);
    EXPECT_EQ(cached.entries[0].quality, 0xC0);
  }
}

TEST_F(ItemIo, ReadWithoutItemsIsInvalid) {
  ReadResult r = ReadItems(io_.Get(), {}, kAnyAge);
  EXPECT_HR(r.hr.value, E_INVALIDARG);
  EXPECT_TRUE(r.null);
}

TEST_F(ItemIo, UnconvertibleTextIsATypeMismatchAndNeverReachesTheHost) {
  auto [hr, errors] = Write(io_.Get(), {{L"Counter", Bstr(L"abc")}});
  EXPECT_HR(hr.value, S_FALSE);
  EXPECT_EQ(errors, Codes{DISP_E_TYPEMISMATCH});
  EXPECT_TRUE(Lines("write ").empty());
}

TEST_F(ItemIo, ReadOnlyTagRefusesTheWrite) {
  auto [hr, errors] = Write(io_.Get(), {{L"ReadOnly", I4(1)}, {L"Counter", I4(2)}});
  EXPECT_HR(hr.value, S_FALSE);
  EXPECT_EQ(errors, (Codes{OPC_E_BADRIGHTS, S_OK}));
  EXPECT_EQ(Lines("write "), Strings{"write Counter 3 2"});
}

TEST_F(ItemIo, EmptyAndUnknownIdsFailTheirWriteEntry) {
  auto [hr, errors] = Write(io_.Get(), {{L"", I4(1)}, {L"Nothing", I4(1)}, {L"WriteOnly", I4(6)}});
  EXPECT_HR(hr.value, S_FALSE);
  EXPECT_EQ(errors, (Codes{OPC_E_INVALIDITEMID, OPC_E_UNKNOWNITEMID, S_OK}));
  EXPECT_EQ(Lines("write "), Strings{"write WriteOnly 3 6"});
}

TEST_F(ItemIo, TheHostGetsTheValueInTheCanonicalType) {
  auto [hr, errors] = Write(io_.Get(), {{L"Counter", Bstr(L"12")}, {L"Tank1.Level", I4(4)}});
  EXPECT_HR(hr.value, S_OK);
  EXPECT_EQ(errors, (Codes{S_OK, S_OK}));
  EXPECT_EQ(Lines("write "), (Strings{"write Counter 3 12", "write Tank1.Level 5 4"}));
}

TEST_F(ItemIo, AFailingHostWriteIsTheItemsError) {
  ASSERT_TRUE(host_->Command("writeresult C0040006"));
  auto [hr, errors] = Write(io_.Get(), {{L"Counter", I4(1)}});
  EXPECT_HR(hr.value, S_FALSE);
  EXPECT_EQ(errors, Codes{OPC_E_BADRIGHTS});
  EXPECT_EQ(Lines("write "), Strings{"write Counter 3 1"});
}

TEST_F(ItemIo, WriteChangesNothingUntilTheHostUpdates) {
  auto [hr, errors] = Write(io_.Get(), {{L"Counter", I4(42), true, 0}});
  EXPECT_HR(hr.value, S_OK);
  EXPECT_EQ(errors, Codes{S_OK});
  // The value reaches the host; the quality and timestamp of the record do not.
  EXPECT_EQ(Lines("write "), Strings{"write Counter 3 42"});

  ReadResult unchanged = ReadItems(io_.Get(), {L"Counter"}, kAnyAge);
  ASSERT_HR(unchanged.hr.value, S_OK);
  ASSERT_EQ(unchanged.entries.size(), 1u);
  EXPECT_EQ(unchanged.entries[0].value, L"7");
  EXPECT_EQ(unchanged.entries[0].quality, 0xC0);
  EXPECT_NE(Ticks(unchanged.entries[0].stamp), Ticks(FILETIME{1, 1}));

  ASSERT_TRUE(host_->Command("update Counter 42"));
  // UpdateTag answers -1 for success.
  EXPECT_EQ(Lines("update "), Strings{"update Counter -1"});
  ReadResult updated = ReadItems(io_.Get(), {L"Counter"}, kAnyAge);
  ASSERT_HR(updated.hr.value, S_OK);
  ASSERT_EQ(updated.entries.size(), 1u);
  EXPECT_EQ(updated.entries[0].value, L"42");
  EXPECT_EQ(updated.entries[0].quality, 0xC0);
}

TEST_F(ItemIo, WriteWithoutItemsIsInvalid) {
  OPCITEMVQT vqt{};
  LPCWSTR id = L"Counter";
  TaskMem<HRESULT> errors;
  EXPECT_HR(io_->WriteVQT(0, &id, &vqt, errors.Put()), E_INVALIDARG);
  EXPECT_EQ(errors.Get(), nullptr);
}

}  // namespace
}  // namespace e2e
