// IOPCSyncIO and IOPCSyncIO2 seen by an out-of-process client: what the
// cache and the host's device reads hand out, which writes reach the host's
// write callback, and the per-item failures of both.
#include "opc_client.h"

namespace e2e {
namespace {

using Strings = std::vector<std::string>;
// A per-item method's result and its error array.
using Answer = std::pair<Hr, Codes>;

constexpr WORD kGood = 0xC0;
constexpr WORD kOutOfService = 0x1C;
constexpr WORD kUncertain = 0x40;

// The arrays of IOPCSyncIO::Read.
struct ItemStates {
  TaskMem<OPCITEMSTATE> states;
  TaskMem<HRESULT> errors;
  Codes Errors() const { return CodesOf(errors); }
};

// The four arrays of IOPCSyncIO2::ReadMaxAge.
struct AgedValues {
  TaskMem<VARIANT> values;
  TaskMem<WORD> qualities;
  TaskMem<FILETIME> times;
  TaskMem<HRESULT> errors;
  Codes Errors() const { return CodesOf(errors); }
};

ULONGLONG Ticks(const FILETIME& t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

ULONGLONG NowTicks() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return Ticks(now);
}

// 100 ns units.
constexpr ULONGLONG kSecond = 10000000ULL;
constexpr ULONGLONG kMinute = 60 * kSecond;

Variant I4(LONG n) {
  Variant v;
  V_VT(&v) = VT_I4;
  V_I4(&v) = n;
  return v;
}

Variant Text(const wchar_t* s) {
  Variant v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(s);
  return v;
}

class SyncIoFixture : public HostedServer {
 protected:
  std::vector<std::string> Tags() const override {
    return {"Num.Count 3 3 7", "Num.Fixed 3 1 5", "Num.Setpoint 3 2 1", "Num.Spare 3 3 11", "Num.Short 2 3 3"};
  }

  void SetUp() override {
    HostedServer::SetUp();
    if (HasFatalFailure()) return;
    group_ = AddGroup(L"Sync");
    items_ = group_.Query<IOPCItemMgt>();
    io_ = group_.Query<IOPCSyncIO>();
    io2_ = group_.Query<IOPCSyncIO2>();
    ASSERT_TRUE(items_ && io_ && io2_);
    count_ = AddItem(L"Num.Count", 101);
    fixed_ = AddItem(L"Num.Fixed", 102);
    setpoint_ = AddItem(L"Num.Setpoint", 103);
    spare_ = AddItem(L"Num.Spare", 104);
  }

  void TearDown() override {
    io2_.Reset();
    io_.Reset();
    items_.Reset();
    group_.Reset();
    HostedServer::TearDown();
  }

  OPCHANDLE AddItem(const wchar_t* id, OPCHANDLE client, VARTYPE requested = VT_EMPTY) {
    ItemDefs defs;
    defs.Add(id, requested, client);
    ItemResults r;
    HRESULT hr = items_->AddItems(defs.Count(), defs.Data(), r.results.Put(defs.Count()), r.errors.Put(defs.Count()));
    EXPECT_HR(hr, S_OK) << "AddItems(" << Narrow(id) << ")";
    return r.results.Size() ? r.results[0].hServer : 0;
  }

  HRESULT Read(OPCDATASOURCE source, std::vector<OPCHANDLE> handles, ItemStates& out) {
    const DWORD n = DWORD(handles.size());
    return io_->Read(source, n, handles.data(), out.states.Put(n), out.errors.Put(n));
  }

  HRESULT ReadMaxAge(std::vector<OPCHANDLE> handles, std::vector<DWORD> ages, AgedValues& out) {
    const DWORD n = DWORD(handles.size());
    return io2_->ReadMaxAge(n, handles.data(), ages.data(), out.values.Put(n), out.qualities.Put(n), out.times.Put(n),
                            out.errors.Put(n));
  }

  Answer Write(std::vector<OPCHANDLE> handles, const std::vector<Variant>& values) {
    std::vector<VARIANT> plain;
    for (const auto& v : values) plain.push_back(v.Get());
    TaskMem<HRESULT> e;
    HRESULT hr = io_->Write(DWORD(handles.size()), handles.data(), plain.data(), e.Put(DWORD(handles.size())));
    return {hr, CodesOf(e)};
  }

  // The cached value of one item, read from the cache as text.
  std::string CachedValue(OPCHANDLE item) {
    ItemStates s;
    EXPECT_HR(Read(OPC_DS_CACHE, {item}, s), S_OK);
    return s.states.Size() ? Shown(s.states[0].vDataValue) : "<none>";
  }

  void SetActive(BOOL active) {
    DWORD revised = 0;
    ASSERT_HR(group_->SetState(nullptr, &revised, &active, nullptr, nullptr, nullptr, nullptr), S_OK);
  }

  ComPtr<IOPCGroupStateMgt> group_;
  ComPtr<IOPCItemMgt> items_;
  ComPtr<IOPCSyncIO> io_;
  ComPtr<IOPCSyncIO2> io2_;
  OPCHANDLE count_ = 0, fixed_ = 0, setpoint_ = 0, spare_ = 0;
};

class SyncRead : public SyncIoFixture {};
class SyncWrite : public SyncIoFixture {};
class SyncReadMaxAge : public SyncIoFixture {};

void ExpectZeroed(const OPCITEMSTATE& s) {
  EXPECT_EQ(s.hClient, 0u);
  EXPECT_EQ(Ticks(s.ftTimeStamp), 0u);
  EXPECT_EQ(s.wQuality, 0u);
  EXPECT_EQ(V_VT(&s.vDataValue), VT_EMPTY);
}

TEST_F(SyncRead, CacheOfAnInactiveGroupIsOutOfServiceWithTheTagsValueAndTime) {
  ItemStates s;
  ASSERT_HR(Read(OPC_DS_CACHE, {count_}, s), S_OK);
  ASSERT_EQ(s.states.Size(), 1u);
  EXPECT_EQ(s.Errors(), Codes{S_OK});
  EXPECT_EQ(s.states[0].hClient, 101u);
  EXPECT_EQ(s.states[0].wQuality, kOutOfService);
  EXPECT_EQ(Shown(s.states[0].vDataValue), "3:7");
  // The tag's time stamp: set when the host registered it, moments ago.
  const ULONGLONG registered = Ticks(s.states[0].ftTimeStamp);
  EXPECT_LE(registered, NowTicks());
  EXPECT_GT(registered, NowTicks() - kMinute);
  // A cache read never reaches the host.
  EXPECT_EQ(Lines("read "), Strings{});

  // A value the host pushes is what the next cache read shows, still out of
  // service while the group is inactive.
  ASSERT_TRUE(host_->Command("update Num.Count 9"));
  ItemStates after;
  ASSERT_HR(Read(OPC_DS_CACHE, {count_}, after), S_OK);
  EXPECT_EQ(after.states[0].wQuality, kOutOfService);
  EXPECT_EQ(Shown(after.states[0].vDataValue), "3:9");
  EXPECT_GE(Ticks(after.states[0].ftTimeStamp), registered);
  EXPECT_EQ(Lines("read "), Strings{});
}

TEST_F(SyncRead, CacheOfAnActiveGroupHasTheTagsQuality) {
  SetActive(TRUE);
  ItemStates s;
  ASSERT_HR(Read(OPC_DS_CACHE, {count_}, s), S_OK);
  EXPECT_EQ(s.states[0].wQuality, kGood);
  EXPECT_EQ(Shown(s.states[0].vDataValue), "3:7");
}

TEST_F(SyncRead, DeviceReadCallsTheHostAndHandsOutItsAnswer) {
  const ULONGLONG before = NowTicks();
  ItemStates s;
  ASSERT_HR(Read(OPC_DS_DEVICE, {count_}, s), S_OK);
  EXPECT_EQ(s.Errors(), Codes{S_OK});
  EXPECT_EQ(Lines("read "), Strings{"read Num.Count"});
  EXPECT_EQ(s.states[0].hClient, 101u);
  // The host's quality even though the group is inactive.
  EXPECT_EQ(s.states[0].wQuality, kGood);
  // The host answers the number of device reads so far.
  EXPECT_EQ(Shown(s.states[0].vDataValue), "3:1");
  EXPECT_GE(Ticks(s.states[0].ftTimeStamp) + kSecond, before);

  // The device's answer became the tag's value, so the cache shows it too.
  EXPECT_EQ(CachedValue(count_), "3:1");
  EXPECT_EQ(Lines("read ").size(), 1u);
}

TEST_F(SyncRead, SourceOtherThanCacheOrDeviceIsInvalid) {
  for (DWORD source : {0u, 3u}) {
    OPCHANDLE handles[] = {count_};
    ItemStates s;
    EXPECT_HR(io_->Read(OPCDATASOURCE(source), 1, handles, s.states.Put(1), s.errors.Put(1)), E_INVALIDARG)
        << "source " << source;
    EXPECT_EQ(s.states.Get(), nullptr);
    EXPECT_EQ(s.errors.Get(), nullptr);
  }
  EXPECT_EQ(Lines("read "), Strings{});
}

TEST_F(SyncRead, ZeroHandleFailsOnlyItsOwnEntryWhichStaysZero) {
  ItemStates s;
  ASSERT_HR(Read(OPC_DS_CACHE, {count_, 0}, s), S_FALSE);
  ASSERT_EQ(s.states.Size(), 2u);
  EXPECT_EQ(s.Errors(), (Codes{S_OK, OPC_E_INVALIDHANDLE}));
  EXPECT_EQ(Shown(s.states[0].vDataValue), "3:7");
  ExpectZeroed(s.states[1]);

  ItemStates device;
  ASSERT_HR(Read(OPC_DS_DEVICE, {0, count_}, device), S_FALSE);
  EXPECT_EQ(device.Errors(), (Codes{OPC_E_INVALIDHANDLE, S_OK}));
  ExpectZeroed(device.states[0]);
  EXPECT_EQ(Lines("read "), Strings{"read Num.Count"});
}

TEST_F(SyncRead, TagWithoutReadAccessIsRefusedWithoutAskingTheHost) {
  ItemStates s;
  ASSERT_HR(Read(OPC_DS_DEVICE, {setpoint_, count_}, s), S_FALSE);
  EXPECT_EQ(s.Errors(), (Codes{OPC_E_BADRIGHTS, S_OK}));
  ExpectZeroed(s.states[0]);
  EXPECT_EQ(Lines("read "), Strings{"read Num.Count"});
}

TEST_F(SyncRead, FailedDeviceReadReportsTheHostsCodeAndKeepsTheValue) {
  ASSERT_TRUE(host_->Command("readresult 80004005"));
  ItemStates s;
  ASSERT_HR(Read(OPC_DS_DEVICE, {count_, spare_}, s), S_FALSE);
  EXPECT_EQ(s.Errors(), (Codes{E_FAIL, E_FAIL}));
  EXPECT_EQ(Lines("read "), (Strings{"read Num.Count", "read Num.Spare"}));
  ExpectZeroed(s.states[0]);
  ExpectZeroed(s.states[1]);

  // Neither the tag nor the item cache took anything from the failed read.
  ItemStates cache;
  ASSERT_HR(Read(OPC_DS_CACHE, {count_}, cache), S_OK);
  EXPECT_EQ(Shown(cache.states[0].vDataValue), "3:7");
  EXPECT_EQ(cache.states[0].wQuality, kOutOfService);

  ASSERT_TRUE(host_->Command("readresult 0"));
  ItemStates recovered;
  ASSERT_HR(Read(OPC_DS_DEVICE, {count_}, recovered), S_OK);
  EXPECT_EQ(recovered.states[0].wQuality, kGood);
}

TEST_F(SyncRead, DeviceAnswerOfAnotherTypeIsStoredInTheTagsType) {
  const OPCHANDLE shortItem = AddItem(L"Num.Short", 105);
  // The host answers VT_I4 for the VT_I2 tag.
  ASSERT_TRUE(host_->Command("readvalue 3 1234"));
  ItemStates s;
  ASSERT_HR(Read(OPC_DS_DEVICE, {shortItem, count_}, s), S_OK);
  ASSERT_EQ(s.states.Size(), 2u);
  EXPECT_EQ(s.Errors(), (Codes{S_OK, S_OK}));
  EXPECT_EQ(Shown(s.states[0].vDataValue), "2:1234");
  EXPECT_EQ(s.states[0].wQuality, kGood);
  EXPECT_EQ(Shown(s.states[1].vDataValue), "3:1234");
  EXPECT_EQ(CachedValue(shortItem), "2:1234");
}

TEST_F(SyncRead, UnconvertibleDeviceAnswerIsTheItemsErrorAndKeepsTheValue) {
  const OPCHANDLE shortItem = AddItem(L"Num.Short", 105);
  const struct {
    const char* answer;
    OPCHANDLE item;
    HRESULT error;
    const char* kept;
  } cases[] = {{"8 abc", count_, DISP_E_TYPEMISMATCH, "3:7"}, {"3 70000", shortItem, DISP_E_OVERFLOW, "2:3"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer);
    ASSERT_TRUE(host_->Command(std::string("readvalue ") + c.answer));
    ItemStates s;
    ASSERT_HR(Read(OPC_DS_DEVICE, {c.item}, s), S_FALSE);
    ASSERT_EQ(s.states.Size(), 1u);
    EXPECT_EQ(s.Errors(), Codes{c.error});
    ExpectZeroed(s.states[0]);
    EXPECT_EQ(CachedValue(c.item), c.kept);
  }
  EXPECT_EQ(Lines("read "), (Strings{"read Num.Count", "read Num.Short"}));
}

TEST_F(SyncRead, RequestedDataTypeConvertsTheValueHandedOut) {
  const OPCHANDLE text = AddItem(L"Num.Count", 105, VT_BSTR);
  ItemStates s;
  ASSERT_HR(Read(OPC_DS_CACHE, {text, count_}, s), S_OK);
  EXPECT_EQ(s.states[0].hClient, 105u);
  EXPECT_EQ(Shown(s.states[0].vDataValue), "8:7");
  EXPECT_EQ(Shown(s.states[1].vDataValue), "3:7");

  ItemStates device;
  ASSERT_HR(Read(OPC_DS_DEVICE, {text}, device), S_OK);
  EXPECT_EQ(Shown(device.states[0].vDataValue), "8:1");

  AgedValues aged;
  ASSERT_HR(ReadMaxAge({text}, {0xFFFFFFFF}, aged), S_OK);
  EXPECT_EQ(Shown(aged.values[0]), "8:1");
}

TEST_F(SyncWrite, ReadOnlyTagIsRefusedAndTheOthersAreWritten) {
  EXPECT_EQ(Write({fixed_, count_, setpoint_}, {I4(1), I4(2), I4(3)}),
            (Answer{S_FALSE, {OPC_E_BADRIGHTS, S_OK, S_OK}}));
  // VT_I4 is 3.
  EXPECT_EQ(Lines("write "), (Strings{"write Num.Count 3 2", "write Num.Setpoint 3 3"}));
}

TEST_F(SyncWrite, EmptyAndUnconvertibleValuesNeverReachTheHost) {
  EXPECT_EQ(Write({count_, count_}, {Variant(), Text(L"abc")}),
            (Answer{S_FALSE, {OPC_E_BADTYPE, DISP_E_TYPEMISMATCH}}));
  EXPECT_EQ(Lines("write "), Strings{});
}

TEST_F(SyncWrite, ConvertibleTextIsWrittenInTheTagsType) {
  EXPECT_EQ(Write({count_}, {Text(L"42")}), (Answer{S_OK, {S_OK}}));
  EXPECT_EQ(Lines("write "), Strings{"write Num.Count 3 42"});
}

TEST_F(SyncWrite, WrittenValueIsReadOnlyOnceTheHostPushesIt) {
  EXPECT_EQ(Write({count_}, {I4(42)}), (Answer{S_OK, {S_OK}}));
  EXPECT_EQ(Lines("write "), Strings{"write Num.Count 3 42"});
  EXPECT_EQ(CachedValue(count_), "3:7");
  ASSERT_TRUE(host_->Command("update Num.Count 42"));
  EXPECT_EQ(CachedValue(count_), "3:42");
}

TEST_F(SyncWrite, HostsWriteFailureIsTheItemsResult) {
  ASSERT_TRUE(host_->Command("writeresult 80004005"));
  EXPECT_EQ(Write({count_, spare_}, {I4(1), I4(2)}),
            (Answer{S_FALSE, {E_FAIL, E_FAIL}}));
  EXPECT_EQ(Lines("write ").size(), 2u);
}

TEST_F(SyncWrite, WriteVqtWritesOnlyTheValue) {
  // A quality and a time stamp far from anything the tag had.
  OPCITEMVQT vqt{};
  V_VT(&vqt.vDataValue) = VT_I4;
  V_I4(&vqt.vDataValue) = 42;
  vqt.bQualitySpecified = TRUE;
  vqt.wQuality = kUncertain;
  vqt.bTimeStampSpecified = TRUE;
  vqt.ftTimeStamp = {0x12345678, 0x01000000};
  OPCHANDLE handles[] = {count_};
  TaskMem<HRESULT> e;
  ASSERT_HR(io2_->WriteVQT(1, handles, &vqt, e.Put(1)), S_OK);
  EXPECT_EQ(CodesOf(e), Codes{S_OK});
  EXPECT_EQ(Lines("write "), Strings{"write Num.Count 3 42"});

  // The tag kept its value, quality and time stamp.
  AgedValues aged;
  ASSERT_HR(ReadMaxAge({count_}, {0xFFFFFFFF}, aged), S_OK);
  EXPECT_EQ(Shown(aged.values[0]), "3:7");
  EXPECT_EQ(aged.qualities[0], kGood);
  EXPECT_GT(Ticks(aged.times[0]), NowTicks() - kMinute);
  EXPECT_EQ(Lines("read "), Strings{});
}

TEST_F(SyncWrite, WriteVqtRefusesLikeWrite) {
  OPCITEMVQT vqt[3]{};
  V_VT(&vqt[0].vDataValue) = VT_I4;
  V_I4(&vqt[0].vDataValue) = 1;
  V_VT(&vqt[1].vDataValue) = VT_I4;
  V_I4(&vqt[1].vDataValue) = 2;
  // vqt[2] stays VT_EMPTY.
  OPCHANDLE handles[] = {fixed_, 0, count_};
  TaskMem<HRESULT> e;
  ASSERT_HR(io2_->WriteVQT(3, handles, vqt, e.Put(3)), S_FALSE);
  EXPECT_EQ(CodesOf(e), (Codes{OPC_E_BADRIGHTS, OPC_E_INVALIDHANDLE, OPC_E_BADTYPE}));
  EXPECT_EQ(Lines("write "), Strings{});
}

TEST_F(SyncReadMaxAge, ZeroAgeAlwaysReadsTheDevice) {
  for (int read = 1; read <= 2; ++read) {
    AgedValues aged;
    ASSERT_HR(ReadMaxAge({count_}, {0}, aged), S_OK);
    EXPECT_EQ(aged.Errors(), Codes{S_OK});
    EXPECT_EQ(Shown(aged.values[0]), "3:" + std::to_string(read));
    EXPECT_EQ(aged.qualities[0], kGood);
    EXPECT_GT(Ticks(aged.times[0]), NowTicks() - kMinute);
  }
  EXPECT_EQ(Lines("read "), (Strings{"read Num.Count", "read Num.Count"}));
}

TEST_F(SyncReadMaxAge, LargestAgeTakesAFreshTagFromTheCache) {
  AgedValues aged;
  ASSERT_HR(ReadMaxAge({count_, spare_}, {0xFFFFFFFF, 0xFFFFFFFF}, aged), S_OK);
  EXPECT_EQ(aged.Errors(), (Codes{S_OK, S_OK}));
  EXPECT_EQ(Shown(aged.values[0]), "3:7");
  EXPECT_EQ(Shown(aged.values[1]), "3:11");
  // No out-of-service substitution although the group is inactive.
  EXPECT_EQ(aged.qualities[0], kGood);
  EXPECT_EQ(Lines("read "), Strings{});
}

TEST_F(SyncReadMaxAge, FailuresLeaveTheirEntriesZero) {
  ASSERT_TRUE(host_->Command("readresult 80004005"));
  AgedValues aged;
  ASSERT_HR(ReadMaxAge({count_, 0, setpoint_, spare_}, {0, 0, 0, 0xFFFFFFFF}, aged), S_FALSE);
  ASSERT_EQ(aged.values.Size(), 4u);
  EXPECT_EQ(aged.Errors(), (Codes{E_FAIL, OPC_E_INVALIDHANDLE, OPC_E_BADRIGHTS, S_OK}));
  for (DWORD i = 0; i < 3; ++i) {
    EXPECT_EQ(V_VT(&aged.values[i]), VT_EMPTY) << "entry " << i;
    EXPECT_EQ(aged.qualities[i], 0u) << "entry " << i;
    EXPECT_EQ(Ticks(aged.times[i]), 0u) << "entry " << i;
  }
  EXPECT_EQ(Shown(aged.values[3]), "3:11");
  EXPECT_EQ(Lines("read "), Strings{"read Num.Count"});
  EXPECT_EQ(CachedValue(count_), "3:7");
}

}  // namespace
}  // namespace e2e
