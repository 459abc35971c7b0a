// OPCLumbra's binding serving real clients in other processes: the echo of a
// client's write to every subscriber, device reads answered from the
// program's own copy, and the connection count that asks for Exit.
// The program is also its own second client: "--write CLSID ITEMID VALUE"
// writes one VT_R8 value through IOPCSyncIO and exits 0 when it succeeded.
#include <filesystem>
#include <string>
#include <vector>

#include "ansi_codepage_win.h"
#include "apartment.h"
#include "config_file.h"
#include "opc_client.h"
#include "tag.h"
#include "tag_manager.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using opclumbra::TTag;
using opclumbra::TTagManager;

constexpr WORD kGood = 0xC0;
constexpr WORD kUncertain = 0x40;

TTag& Leaf(opclumbra::TNamedItem& owner, const char16_t* name, uint16_t type, const char16_t* init) {
  TTag& t = TTag::Create(owner);
  t.SetName(name);
  t.SetTagType(TTag::Leaf);
  t.SetDataType(type);
  t.SetInitValue(init);
  return t;
}

struct Change {
  std::string value;
  WORD quality;
};

class ChangeSink : public ComObject<IOPCDataCallback> {
 public:
  STDMETHODIMP OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD count, OPCHANDLE*, VARIANT* values,
                            WORD* qualities, FILETIME*, HRESULT*) override {
    for (DWORD i = 0; i < count; ++i) changes.push_back({Shown(values[i]), qualities[i]});
    return S_OK;
  }
  STDMETHODIMP OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*, VARIANT*, WORD*, FILETIME*,
                              HRESULT*) override {
    return S_OK;
  }
  STDMETHODIMP OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE*, HRESULT*) override { return S_OK; }
  STDMETHODIMP OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }

  std::vector<Change> changes;
};

// One item of a new group: the group's item interface and the item's server handle.
struct OneItem {
  ComPtr<IOPCItemMgt> items;
  OPCHANDLE server = 0;
  HRESULT error = E_FAIL;
};

OneItem AddOneItem(IOPCServer* server, const wchar_t* itemId, BOOL active, DWORD rate) {
  OneItem one;
  OPCHANDLE group = 0;
  DWORD revised = 0;
  if (FAILED(server->AddGroup(L"", active, rate, 1, nullptr, nullptr, 0, &group, &revised, IID_IOPCItemMgt,
                              one.items.PutUnknown())))
    return one;
  ItemDefs defs;
  defs.Add(itemId, VT_EMPTY, 1);
  ItemResults r;
  if (SUCCEEDED(one.items->AddItems(1, defs.Data(), r.results.Put(1), r.errors.Put(1)))) {
    one.error = r.errors[0];
    one.server = r.results[0].hServer;
  }
  return one;
}

int WriteOnce(const char* clsidText, const char* itemId, double value) {
  quillon::Apartment apartment(COINIT_APARTMENTTHREADED);
  if (FAILED(apartment.Result())) return 10;
  std::wstring wide(clsidText, clsidText + strlen(clsidText));
  CLSID clsid;
  if (FAILED(CLSIDFromString(wide.c_str(), &clsid))) return 11;
  ComPtr<IOPCServer> server;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer, server.PutVoid()))) return 12;
  std::wstring id(itemId, itemId + strlen(itemId));
  OneItem one = AddOneItem(server.Get(), id.c_str(), FALSE, 1000);
  if (one.error != S_OK) return 13;
  auto io = one.items.Query<IOPCSyncIO>();
  VARIANT v;
  V_VT(&v) = VT_R8;
  V_R8(&v) = value;
  TaskMem<HRESULT> errors;
  if (!io || io->Write(1, &one.server, &v, errors.Put(1)) != S_OK || errors[0] != S_OK) return 14;
  return 0;
}

class Binding : public ::testing::Test {
 protected:
  void SetUp() override {
    watchdog_ = std::make_unique<Watchdog>(45000);
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    TTagManager manager;
    manager.SetClassID(std::u16string(classId_.text.begin(), classId_.text.end()));
    TTag& area = TTag::Create(manager);
    area.SetName(u"Area1");
    Leaf(area, u"Level", 1, u"0.5");
    Leaf(area, u"Temp", 1, u"21.5");
    config_ = fs::temp_directory_path() / (classId_.text + ".dat");
    opclumbra::SaveConfigFile(config_, manager, opclumbra::WindowsAnsiCodePage());
    host_ = std::make_unique<HostProcess>(HostProcess::Program{"app_binding_host.exe", "\"" + config_.string() + "\""});
    ASSERT_TRUE(host_->WaitReady(30000)) << ::testing::PrintToString(host_->Events());
    server_ = Connect();
    ASSERT_TRUE(server_);
  }

  void TearDown() override {
    server_.Reset();
    if (host_) {
      EXPECT_TRUE(host_->Quit(10000));
      EXPECT_EQ(host_->Events().back(), "ended");
      host_.reset();
    }
    fs::remove(config_);
    watchdog_.reset();
  }

  ComPtr<IOPCServer> Connect() {
    ComPtr<IOPCServer> server;
    CoCreateInstance(classId_.clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer, server.PutVoid());
    return server;
  }

  // Runs this program as a second client process writing Value to ItemId.
  DWORD RunWriter(const std::string& itemId, const std::string& value) {
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string cmd = std::string("\"") + exe + "\" --write " + classId_.text + " " + itemId + " " + value;
    STARTUPINFOA si{sizeof si};
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return ~0u;
    // The server calls back into this apartment meanwhile: keep pumping.
    PumpUntil([&] { return WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0; }, 30000);
    DWORD code = ~0u;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return code;
  }

  bool ExitAsked() const { return !host_->EventsStartingWith("exit asked").empty(); }

  ClassId classId_ = ClassId::New();
  fs::path config_;
  std::unique_ptr<Watchdog> watchdog_;
  std::unique_ptr<HostProcess> host_;
  ComPtr<IOPCServer> server_;
};

TEST_F(Binding, AClientsWriteIsEchoedToTheSubscribersOfAnotherProcess) {
  OneItem one = AddOneItem(server_.Get(), L"Area1.Level", TRUE, 100);
  ASSERT_HR(one.error, S_OK);
  auto sink = MakeCom<ChangeSink>();
  auto container = one.items.Query<IConnectionPointContainer>();
  ComPtr<IConnectionPoint> point;
  ASSERT_HR(container->FindConnectionPoint(IID_IOPCDataCallback, point.Put()), S_OK);
  DWORD cookie = 0;
  ASSERT_HR(point->Advise(sink.Get(), &cookie), S_OK);
  // The initial value, published when the program started.
  ASSERT_TRUE(PumpUntil([&] { return !sink->changes.empty(); }, 5000));
  EXPECT_EQ(sink->changes[0].value, "5:0.5");
  EXPECT_EQ(sink->changes[0].quality, kUncertain);

  EXPECT_EQ(RunWriter("Area1.Level", "3.5"), 0u);
  ASSERT_TRUE(PumpUntil([&] { return sink->changes.size() >= 2; }, 5000));
  EXPECT_EQ(sink->changes.back().value, "5:3.5");
  EXPECT_EQ(sink->changes.back().quality, kGood);
  EXPECT_TRUE(host_->WaitForEvent("refresh Area1.Level", 2000));
  EXPECT_HR(point->Unadvise(cookie), S_OK);
}

TEST_F(Binding, ADeviceReadAnswersTheProgramsOwnCopyInUtc) {
  // 2021-01-01 12:00 local time; the toolkit's copy stays 21.5.
  ASSERT_TRUE(host_->Command("own Area1.Temp 44197.5 7.25"));
  OneItem one = AddOneItem(server_.Get(), L"Area1.Temp", FALSE, 1000);
  ASSERT_HR(one.error, S_OK);
  auto io = one.items.Query<IOPCSyncIO>();
  TaskMem<OPCITEMSTATE> states;
  TaskMem<HRESULT> errors;
  ASSERT_HR(io->Read(OPC_DS_DEVICE, 1, &one.server, states.Put(1), errors.Put(1)), S_OK);
  EXPECT_EQ(Shown(states[0].vDataValue), "5:7.25");
  EXPECT_EQ(states[0].wQuality, kUncertain);
  SYSTEMTIME local{2021, 1, 5, 1, 12, 0, 0, 0}, utc;
  ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc));
  FILETIME expected;
  SystemTimeToFileTime(&utc, &expected);
  EXPECT_EQ(states[0].ftTimeStamp.dwHighDateTime, expected.dwHighDateTime);
  EXPECT_EQ(states[0].ftTimeStamp.dwLowDateTime, expected.dwLowDateTime);
}

TEST_F(Binding, ExitIsAskedForWhenTheLastClientLeaves) {
  ComPtr<IOPCServer> second = Connect();
  ASSERT_TRUE(second);
  second.Reset();
  PumpUntil([] { return false; }, 500);
  EXPECT_FALSE(ExitAsked());
  server_.Reset();
  EXPECT_TRUE(host_->WaitForEvent("exit asked", 5000));
  EXPECT_EQ(host_->EventsStartingWith("exit asked").size(), 1u);
}

TEST_F(Binding, EndingWithClientsConnectedAsksForNoExit) {
  ComPtr<IOPCServer> second = Connect();
  ASSERT_TRUE(second);
  ASSERT_TRUE(host_->Quit(10000));
  EXPECT_FALSE(ExitAsked());
  EXPECT_EQ(host_->Events().back(), "ended");
  host_.reset();
}

}  // namespace
}  // namespace e2e

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--write") return e2e::WriteOnce(argv[2], argv[3], std::atof(argv[4]));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
