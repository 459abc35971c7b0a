// DA 1.0 data-object streams seen by an out-of-process client: the group's
// IDataObject subscription, IOPCAsyncIO requests, and the bytes of the blocks
// that reach the client's IAdviseSink::OnDataChange in an HGLOBAL.
#include <cstring>

#include "opc_client.h"

namespace e2e {
namespace {

constexpr WORD kGood = 0xC0;
constexpr OPCHANDLE kGroupClient = 0x77;
constexpr DWORD kRate = 200;
// Every value slot of a stream is one VARIANT as it stands in memory, so the
// sizes below follow the build's VARIANT (24 bytes on x86_64, 16 on x86).
constexpr DWORD kVariant = sizeof(VARIANT);
constexpr DWORD kGroupHeader = 20;
constexpr DWORD kItemHeaderTime = 20;
constexpr DWORD kItemHeader = 12;

// One OnDataChange as the client received it: the format and a copy of the
// HGLOBAL, which the server frees once the call returns.
struct Block {
  CLIPFORMAT format;
  DWORD tymed;
  std::vector<BYTE> bytes;

  DWORD U32(size_t at) const {
    DWORD v = 0;
    if (at + sizeof v <= bytes.size()) std::memcpy(&v, bytes.data() + at, sizeof v);
    return v;
  }
  WORD U16(size_t at) const {
    WORD v = 0;
    if (at + sizeof v <= bytes.size()) std::memcpy(&v, bytes.data() + at, sizeof v);
    return v;
  }
  ULONGLONG U64(size_t at) const {
    ULONGLONG v = 0;
    if (at + sizeof v <= bytes.size()) std::memcpy(&v, bytes.data() + at, sizeof v);
    return v;
  }
  // The VARIANT image at At, taken as plain bytes: any pointer in it is the
  // server's and is never followed.
  VARIANT Value(size_t at) const {
    VARIANT v;
    std::memset(&v, 0, sizeof v);
    if (at + sizeof v <= bytes.size()) std::memcpy(&v, bytes.data() + at, sizeof v);
    return v;
  }
};

class StreamSink : public ComObject<IAdviseSink> {
 public:
  STDMETHODIMP_(void) OnDataChange(FORMATETC* format, STGMEDIUM* medium) override {
    Block b{format ? format->cfFormat : CLIPFORMAT(0), medium ? medium->tymed : 0u, {}};
    if (medium && medium->tymed == TYMED_HGLOBAL && medium->hGlobal) {
      const SIZE_T size = GlobalSize(medium->hGlobal);
      if (const void* p = GlobalLock(medium->hGlobal)) {
        b.bytes.assign(static_cast<const BYTE*>(p), static_cast<const BYTE*>(p) + size);
        GlobalUnlock(medium->hGlobal);
      }
    }
    blocks.push_back(std::move(b));
  }
  STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override { ADD_FAILURE() << "unexpected OnViewChange"; }
  STDMETHODIMP_(void) OnRename(IMoniker*) override { ADD_FAILURE() << "unexpected OnRename"; }
  STDMETHODIMP_(void) OnSave() override { ADD_FAILURE() << "unexpected OnSave"; }
  STDMETHODIMP_(void) OnClose() override { ADD_FAILURE() << "unexpected OnClose"; }

  std::vector<Block> blocks;
};


// The registered formats, looked up by name as any DA 1.0 client does; the
// names are atoms shared with the host process.
CLIPFORMAT Format(const wchar_t* name) { return CLIPFORMAT(RegisterClipboardFormatW(name)); }

FORMATETC FormatEtc(CLIPFORMAT format) { return FORMATETC{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

class StreamFixture : public HostedServer {
 protected:
  std::vector<std::string> Tags() const override {
    return {"Flow 5 3 100", "Count 3 3 7", "Name 8 3 alpha", "Level 5 3 50", "Locked 3 1 5", "Setpoint 3 2 1"};
  }

  void TearDown() override {
    data_.Reset();
    async_.Reset();
    items_.Reset();
    group_.Reset();
    if (!expectedLogs_.empty() && host_) {
      // The shared teardown rejects every log line; this test expects some,
      // so it ends the host and checks the lines itself.
      server_.Reset();
      EXPECT_TRUE(host_->Running());
      EXPECT_TRUE(host_->Quit(10000));
      EXPECT_EQ(Lines("log "), expectedLogs_);
      host_.reset();
    }
    HostedServer::TearDown();
  }

  void MakeGroup(BOOL active) {
    OPCHANDLE server = 0;
    DWORD revised = 0;
    ASSERT_HR(server_->AddGroup(L"Streams", active, kRate, kGroupClient, nullptr, nullptr, 0, &server, &revised,
                                __uuidof(IOPCGroupStateMgt), group_.PutUnknown()),
              S_OK);
    items_ = group_.Query<IOPCItemMgt>();
    data_ = group_.Query<IDataObject>();
    async_ = group_.Query<IOPCAsyncIO>();
    ASSERT_TRUE(items_ && data_ && async_);
  }

  DWORD Advise(const wchar_t* formatName) {
    FORMATETC f = FormatEtc(Format(formatName));
    DWORD connection = 0;
    EXPECT_HR(data_->DAdvise(&f, ADVF_PRIMEFIRST, sink_.Get(), &connection), S_OK) << Narrow(formatName);
    return connection;
  }

  // Server handles of items added in one call.
  std::vector<OPCHANDLE> AddItems(ItemDefs& defs) {
    ItemResults r;
    HRESULT hr = items_->AddItems(defs.Count(), defs.Data(), r.results.Put(defs.Count()), r.errors.Put(defs.Count()));
    EXPECT_HR(hr, S_OK);
    std::vector<OPCHANDLE> handles;
    for (DWORD i = 0; i < r.results.Size(); ++i) handles.push_back(r.results[i].hServer);
    return handles;
  }

  bool WaitForBlocks(size_t n, DWORD ms = 3 * kRate + 2000) {
    return PumpUntil([&] { return sink_->blocks.size() >= n; }, ms);
  }
  // Pumps for a few update periods: blocks that arrive are only collected.
  void Idle(DWORD periods = 4) {
    PumpUntil([] { return false; }, periods * kRate);
  }

  ComPtr<StreamSink> sink_ = MakeCom<StreamSink>();
  ComPtr<IOPCGroupStateMgt> group_;
  ComPtr<IOPCItemMgt> items_;
  ComPtr<IDataObject> data_;
  ComPtr<IOPCAsyncIO> async_;
  std::vector<std::string> expectedLogs_;
};

class DataStream : public StreamFixture {};
class AsyncIO10 : public StreamFixture {};
class Subscription : public StreamFixture {};

// Checks the 20-byte group header of a data block.
void ExpectGroupHeader(const Block& b, DWORD count, DWORD transaction, HRESULT status) {
  EXPECT_EQ(b.U32(0), b.bytes.size()) << "dwSize must be the size of the block";
  EXPECT_EQ(b.U32(4), count) << "dwItemCount";
  EXPECT_EQ(b.U32(8), kGroupClient) << "hClientGroup";
  EXPECT_EQ(b.U32(12), transaction) << "dwTransactionID";
  EXPECT_HR(HRESULT(b.U32(16)), status);
}

TEST_F(DataStream, TwoChangedItemsArriveInOneTimedBlock) {
  MakeGroup(TRUE);
  EXPECT_EQ(Advise(L"OPCSTMFORMATDATATIME"), 1u);
  ItemDefs defs;
  defs.Add(L"Flow", VT_EMPTY, 1).Add(L"Count", VT_EMPTY, 2);
  AddItems(defs);
  ASSERT_TRUE(WaitForBlocks(1)) << "the new items were never delivered";
  Idle();
  ASSERT_EQ(sink_->blocks.size(), 1u) << "both items belong in the one block of their tick";

  const Block& b = sink_->blocks[0];
  EXPECT_EQ(b.format, Format(L"OPCSTMFORMATDATATIME"));
  EXPECT_EQ(b.tymed, DWORD(TYMED_HGLOBAL));
  const DWORD n = 2, values = kGroupHeader + n * kItemHeaderTime;
  ASSERT_EQ(b.bytes.size(), kGroupHeader + n * (kItemHeaderTime + kVariant));
  ExpectGroupHeader(b, n, 0, S_OK);
  for (DWORD i = 0; i < n; ++i) {
    const size_t h = kGroupHeader + kItemHeaderTime * i;
    EXPECT_EQ(b.U32(h), i + 1) << "hClient of item " << i;
    EXPECT_EQ(b.U32(h + 4), values + kVariant * i) << "dwValueOffset of item " << i;
    EXPECT_EQ(b.U16(h + 8), kGood) << "wQuality of item " << i;
    EXPECT_EQ(b.U16(h + 10), 0u) << "wReserved of item " << i;
    EXPECT_NE(b.U64(h + 12), 0u) << "ftTimeStampItem of item " << i;
  }
  VARIANT flow = b.Value(values), count = b.Value(values + kVariant);
  EXPECT_EQ(V_VT(&flow), VT_R8);
  EXPECT_EQ(V_R8(&flow), 100.0);
  EXPECT_EQ(V_VT(&count), VT_I4);
  EXPECT_EQ(V_I4(&count), 7);
}

TEST_F(DataStream, DAdviseAfterReadsSendsTheCurrentValuesOfEveryActiveItem) {
  MakeGroup(TRUE);
  auto sync = group_.Query<IOPCSyncIO>();
  ASSERT_TRUE(sync);
  ItemDefs defs;
  defs.Add(L"Flow", VT_EMPTY, 1).Add(L"Count", VT_EMPTY, 2).Add(L"Level", VT_EMPTY, 4, FALSE);
  auto handles = AddItems(defs);
  ASSERT_EQ(handles.size(), 3u);
  const std::vector<OPCHANDLE> active(handles.begin(), handles.begin() + 2);
  SyncRead(sync.Get(), OPC_DS_CACHE, active);
  SyncRead(sync.Get(), OPC_DS_DEVICE, active);
  auto current = SyncRead(sync.Get(), OPC_DS_CACHE, active);
  ASSERT_EQ(current.size(), 2u);

  Advise(L"OPCSTMFORMATDATATIME");
  ASSERT_TRUE(WaitForBlocks(1)) << "no block after DAdvise";
  Idle();
  ASSERT_EQ(sink_->blocks.size(), 1u) << "an unchanged value is sent once";
  const Block& b = sink_->blocks[0];
  const DWORD n = 2, values = kGroupHeader + n * kItemHeaderTime;
  ASSERT_EQ(b.bytes.size(), kGroupHeader + n * (kItemHeaderTime + kVariant));
  ExpectGroupHeader(b, n, 0, S_OK);
  for (DWORD i = 0; i < n; ++i) {
    const size_t h = kGroupHeader + kItemHeaderTime * i;
    EXPECT_EQ(b.U32(h), i + 1) << "hClient of item " << i;
    EXPECT_EQ(b.U16(h + 8), kGood) << "wQuality of item " << i;
    EXPECT_EQ(b.U64(h + 12), current[i].time) << "ftTimeStampItem of item " << i;
    // Numbers only: the image holds no pointer to follow.
    EXPECT_EQ(Shown(b.Value(values + kVariant * i)), current[i].value) << "value of item " << i;
  }
}

TEST_F(DataStream, TheUntimedFormatLeavesTheTimeOut) {
  MakeGroup(TRUE);
  EXPECT_EQ(Advise(L"OPCSTMFORMATDATA"), 2u);
  ItemDefs defs;
  defs.Add(L"Flow", VT_EMPTY, 1).Add(L"Count", VT_EMPTY, 2);
  AddItems(defs);
  ASSERT_TRUE(WaitForBlocks(1));
  Idle();
  ASSERT_EQ(sink_->blocks.size(), 1u);

  const Block& b = sink_->blocks[0];
  EXPECT_EQ(b.format, Format(L"OPCSTMFORMATDATA"));
  const DWORD n = 2, values = kGroupHeader + n * kItemHeader;
  ASSERT_EQ(b.bytes.size(), kGroupHeader + n * (kItemHeader + kVariant));
  ExpectGroupHeader(b, n, 0, S_OK);
  for (DWORD i = 0; i < n; ++i) {
    const size_t h = kGroupHeader + kItemHeader * i;
    EXPECT_EQ(b.U32(h), i + 1);
    EXPECT_EQ(b.U32(h + 4), values + kVariant * i);
    EXPECT_EQ(b.U16(h + 8), kGood);
    EXPECT_EQ(b.U16(h + 10), 0u);
  }
  VARIANT flow = b.Value(values), count = b.Value(values + kVariant);
  EXPECT_EQ(V_VT(&flow), VT_R8);
  EXPECT_EQ(V_R8(&flow), 100.0);
  EXPECT_EQ(V_VT(&count), VT_I4);
  EXPECT_EQ(V_I4(&count), 7);
}

TEST_F(DataStream, AStringTravelsAsAnImageAfterItsVariant) {
  MakeGroup(TRUE);
  Advise(L"OPCSTMFORMATDATATIME");
  ItemDefs defs;
  defs.Add(L"Name", VT_EMPTY, 3).Add(L"Count", VT_EMPTY, 2);
  AddItems(defs);
  ASSERT_TRUE(WaitForBlocks(1));
  Idle();
  ASSERT_EQ(sink_->blocks.size(), 1u);

  const Block& b = sink_->blocks[0];
  const std::wstring text = L"alpha";
  const DWORD textBytes = DWORD(text.size() * sizeof(wchar_t));
  // A BSTR's length prefix, its characters and the terminating NUL.
  const DWORD image = 4 + textBytes + sizeof(wchar_t);
  const DWORD first = kGroupHeader + 2 * kItemHeaderTime, second = first + kVariant + image;
  ASSERT_EQ(b.bytes.size(), second + kVariant);
  ExpectGroupHeader(b, 2, 0, S_OK);
  EXPECT_EQ(b.U32(kGroupHeader + 4), first);
  EXPECT_EQ(b.U32(kGroupHeader + kItemHeaderTime + 4), second) << "the second value follows the string image";

  VARIANT name = b.Value(first);
  EXPECT_EQ(V_VT(&name), VT_BSTR);
  EXPECT_EQ(b.U64(first + 8), 0u) << "the string pointer in the stream is null";
  EXPECT_EQ(b.U32(first + kVariant), textBytes) << "the image's length is counted in bytes";
  std::wstring chars(text.size(), L'\0');
  std::memcpy(chars.data(), b.bytes.data() + first + kVariant + 4, textBytes);
  EXPECT_EQ(chars, text);
  EXPECT_EQ(b.U16(first + kVariant + 4 + textBytes), 0u) << "the image ends with a NUL";
  VARIANT count = b.Value(second);
  EXPECT_EQ(V_VT(&count), VT_I4);
  EXPECT_EQ(V_I4(&count), 7);
}

TEST_F(AsyncIO10, ReadDeliversOneBlockCarryingItsTransaction) {
  MakeGroup(FALSE);  // no update ticks, so the read's block is the only one
  Advise(L"OPCSTMFORMATDATATIME");
  ItemDefs defs;
  defs.Add(L"Flow", VT_EMPTY, 1).Add(L"Count", VT_EMPTY, 2).Add(L"Level", VT_EMPTY, 4);
  auto handles = AddItems(defs);
  ASSERT_EQ(handles.size(), 3u);

  DWORD transaction = 0;
  TaskMem<HRESULT> e;
  ASSERT_HR(async_->Read(0, OPC_DS_DEVICE, 3, handles.data(), &transaction, e.Put(3)), S_OK);
  EXPECT_EQ(CodesOf(e), (Codes{S_OK, S_OK, S_OK}));
  EXPECT_NE(transaction, 0u);
  ASSERT_TRUE(WaitForBlocks(1));
  Idle();
  ASSERT_EQ(sink_->blocks.size(), 1u);

  const Block& b = sink_->blocks[0];
  EXPECT_EQ(b.format, Format(L"OPCSTMFORMATDATATIME"));
  const DWORD n = 3, values = kGroupHeader + n * kItemHeaderTime;
  ASSERT_EQ(b.bytes.size(), kGroupHeader + n * (kItemHeaderTime + kVariant));
  ExpectGroupHeader(b, n, transaction, S_OK);
  for (DWORD i = 0; i < n; ++i) {
    const size_t h = kGroupHeader + kItemHeaderTime * i;
    EXPECT_EQ(b.U32(h), (std::vector<DWORD>{1, 2, 4})[i]);
    EXPECT_EQ(b.U32(h + 4), values + kVariant * i);
    EXPECT_EQ(b.U16(h + 8), kGood);
  }
  // The host's device read answers VT_I4 with the number of reads so far,
  // which each tag stores in its own type.
  VARIANT flow = b.Value(values), count = b.Value(values + kVariant), level = b.Value(values + 2 * kVariant);
  EXPECT_EQ(V_VT(&flow), VT_R8);
  EXPECT_EQ(V_R8(&flow), 1.0);
  EXPECT_EQ(V_VT(&count), VT_I4);
  EXPECT_EQ(V_I4(&count), 2);
  EXPECT_EQ(V_VT(&level), VT_R8);
  EXPECT_EQ(V_R8(&level), 3.0);
  EXPECT_EQ(Lines("read "), (std::vector<std::string>{"read Flow", "read Count", "read Level"}));
}

TEST_F(AsyncIO10, WriteRefusesAReadOnlyItemAndReportsTheOtherInAWriteCompleteBlock) {
  MakeGroup(FALSE);
  EXPECT_EQ(Advise(L"OPCSTMFORMATWRITECOMPLETE"), 3u);
  ItemDefs defs;
  defs.Add(L"Count", VT_EMPTY, 2).Add(L"Locked", VT_EMPTY, 5);
  auto handles = AddItems(defs);
  ASSERT_EQ(handles.size(), 2u);

  VARIANT values[2];
  for (VARIANT& v : values) {
    VariantInit(&v);
    V_VT(&v) = VT_I4;
  }
  V_I4(&values[0]) = 9;
  V_I4(&values[1]) = 6;
  DWORD transaction = 0;
  TaskMem<HRESULT> e;
  ASSERT_HR(async_->Write(0, 2, handles.data(), values, &transaction, e.Put(2)), S_FALSE);
  EXPECT_EQ(CodesOf(e), (Codes{S_OK, OPC_E_BADRIGHTS}));
  EXPECT_NE(transaction, 0u);
  ASSERT_TRUE(WaitForBlocks(1));
  Idle();
  ASSERT_EQ(sink_->blocks.size(), 1u);

  const Block& b = sink_->blocks[0];
  EXPECT_EQ(b.format, Format(L"OPCSTMFORMATWRITECOMPLETE"));
  ASSERT_EQ(b.bytes.size(), 24u);
  EXPECT_EQ(b.U32(0), 1u) << "dwItemCount";
  EXPECT_EQ(b.U32(4), kGroupClient);
  EXPECT_EQ(b.U32(8), transaction);
  EXPECT_HR(HRESULT(b.U32(12)), S_OK);
  EXPECT_EQ(b.U32(16), 2u) << "hClient of the written item";
  EXPECT_HR(HRESULT(b.U32(20)), S_OK);
  EXPECT_EQ(Lines("write "), std::vector<std::string>{"write Count 3 9"});
}

TEST_F(AsyncIO10, RefreshReadsEveryReadableItemAndSkipsAWriteOnlyGroup) {
  MakeGroup(FALSE);
  Advise(L"OPCSTMFORMATDATA");
  ItemDefs defs;
  defs.Add(L"Setpoint", VT_EMPTY, 6);
  AddItems(defs);
  DWORD transaction = 0;
  EXPECT_HR(async_->Refresh(0, OPC_DS_DEVICE, &transaction), S_FALSE) << "nothing readable to refresh";
  Idle();
  EXPECT_TRUE(sink_->blocks.empty());

  // Inactive items are refreshed too.
  ItemDefs more;
  more.Add(L"Count", VT_EMPTY, 2, FALSE);
  AddItems(more);
  ASSERT_HR(async_->Refresh(0, OPC_DS_DEVICE, &transaction), S_OK);
  EXPECT_NE(transaction, 0u);
  ASSERT_TRUE(WaitForBlocks(1));
  Idle();
  ASSERT_EQ(sink_->blocks.size(), 1u);
  const Block& b = sink_->blocks[0];
  EXPECT_EQ(b.format, Format(L"OPCSTMFORMATDATA"));
  ASSERT_EQ(b.bytes.size(), kGroupHeader + kItemHeader + kVariant);
  ExpectGroupHeader(b, 1, transaction, S_OK);
  EXPECT_EQ(b.U32(kGroupHeader), 2u);
  EXPECT_EQ(Lines("read "), std::vector<std::string>{"read Count"});
}

TEST_F(AsyncIO10, RequestsWithoutAnAdviseHaveNoConnection) {
  MakeGroup(TRUE);
  ItemDefs defs;
  defs.Add(L"Count", VT_EMPTY, 2);
  auto handles = AddItems(defs);
  ASSERT_EQ(handles.size(), 1u);

  DWORD transaction = 0;
  TaskMem<HRESULT> read, write;
  EXPECT_HR(async_->Read(0, OPC_DS_CACHE, 1, handles.data(), &transaction, read.Put(1)), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(read.Get(), nullptr);
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_I4;
  V_I4(&value) = 3;
  EXPECT_HR(async_->Write(0, 1, handles.data(), &value, &transaction, write.Put(1)), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(write.Get(), nullptr);
  EXPECT_HR(async_->Refresh(0, OPC_DS_CACHE, &transaction), CONNECT_E_NOCONNECTION);
  Idle();
  EXPECT_TRUE(sink_->blocks.empty());
  EXPECT_TRUE(Lines("write ").empty());
}

TEST_F(Subscription, AnUnknownFormatIsRefusedAndConnectsNothing) {
  MakeGroup(TRUE);
  FORMATETC text = FormatEtc(CF_TEXT);
  DWORD connection = 99;
  EXPECT_HR(data_->DAdvise(&text, 0, sink_.Get(), &connection), E_FAIL);
  EXPECT_EQ(connection, 0u);
  expectedLogs_ = {"log [DAdvise]Unknown data format"};

  ItemDefs defs;
  defs.Add(L"Count", VT_EMPTY, 2);
  auto handles = AddItems(defs);
  ASSERT_EQ(handles.size(), 1u);
  Idle();
  EXPECT_TRUE(sink_->blocks.empty()) << "the refused sink must not receive the new item";
  DWORD transaction = 0;
  TaskMem<HRESULT> e;
  EXPECT_HR(async_->Read(0, OPC_DS_CACHE, 1, handles.data(), &transaction, e.Put(1)), CONNECT_E_NOCONNECTION);
}

TEST_F(Subscription, UnadvisingTheWriteConnectionEndsTheDataSubscriptionToo) {
  MakeGroup(TRUE);
  Advise(L"OPCSTMFORMATDATATIME");
  ItemDefs defs;
  defs.Add(L"Flow", VT_EMPTY, 1);
  auto handles = AddItems(defs);
  ASSERT_TRUE(WaitForBlocks(1));
  EXPECT_HR(data_->DUnadvise(7), E_INVALIDARG);
  EXPECT_HR(data_->DUnadvise(0), E_INVALIDARG);
  // Still subscribed after the refused numbers.
  ASSERT_TRUE(host_->Command("update Flow 104"));
  ASSERT_TRUE(WaitForBlocks(2)) << "a refused DUnadvise must leave the subscription";

  // The one sink serves all three formats, so any connection number ends it.
  EXPECT_HR(data_->DUnadvise(3), S_OK);
  sink_->blocks.clear();
  ASSERT_TRUE(host_->Command("update Flow 108"));
  Idle();
  EXPECT_TRUE(sink_->blocks.empty()) << "a data block arrived after DUnadvise(3)";
  DWORD transaction = 0;
  TaskMem<HRESULT> e;
  EXPECT_HR(async_->Read(0, OPC_DS_CACHE, 1, handles.data(), &transaction, e.Put(1)), CONNECT_E_NOCONNECTION);
}

TEST_F(Subscription, KeepAliveSendsEmptyHeadersAfterADeliveredChange) {
  MakeGroup(TRUE);
  auto group2 = group_.Query<IOPCGroupStateMgt2>();
  ASSERT_TRUE(group2);
  Advise(L"OPCSTMFORMATDATATIME");
  DWORD revised = 0;
  ASSERT_HR(group2->SetKeepAlive(300, &revised), S_OK);
  ASSERT_EQ(revised, 300u);
  ItemDefs defs;
  defs.Add(L"Flow", VT_EMPTY, 1);
  AddItems(defs);
  ASSERT_TRUE(WaitForBlocks(1));
  ASSERT_EQ(sink_->blocks[0].U32(4), 1u) << "the first block is the new item's";

  // No value changes from here on: only keep-alive blocks may come.
  ASSERT_TRUE(WaitForBlocks(3, 8000)) << "no keep-alive blocks arrived";
  for (size_t i = 1; i < sink_->blocks.size(); ++i) {
    const Block& b = sink_->blocks[i];
    EXPECT_EQ(b.format, Format(L"OPCSTMFORMATDATATIME")) << "block " << i;
    ASSERT_EQ(b.bytes.size(), 20u) << "block " << i;
    ExpectGroupHeader(b, 0, 0, S_OK);
  }
}

}  // namespace
}  // namespace e2e
