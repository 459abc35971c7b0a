// The lifecycle exports, called in-process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exports_state.h"
#include "opc_tag.h"
#include "quillon.h"
#include "server.h"

using namespace quillon;

namespace {

// A class ID of this process's own: test processes run side by side.
std::string NewClassId() {
  GUID g;
  CoCreateGuid(&g);
  wchar_t w[40];
  StringFromGUID2(g, w, 40);
  return std::string(w, w + 38);
}
const std::string classId = NewClassId();
const char* const kClassId = classId.c_str();

std::vector<std::wstring> logA, logB;
void __stdcall LogA(BSTR line) {
  logA.emplace_back(line, SysStringLen(line));
  SysFreeString(line);
}
void __stdcall LogB(BSTR line) {
  logB.emplace_back(line, SysStringLen(line));
  SysFreeString(line);
}

std::vector<std::pair<ServerHandle, LONG>> serverEvents;
void __stdcall OnServer(ServerHandle s, LONG action) { serverEvents.emplace_back(s, action); }

struct MutexHolder {
  HANDLE mutex, taken, release;
};
DWORD WINAPI HoldMutex(void* p) {
  auto* c = static_cast<MutexHolder*>(p);
  WaitForSingleObject(c->mutex, INFINITE);
  SetEvent(c->taken);
  WaitForSingleObject(c->release, INFINITE);
  ReleaseMutex(c->mutex);
  return 0;
}

class Lifecycle : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    logA.clear();
    logB.clear();
    serverEvents.clear();
    Exports().host.Callbacks = {};
  }
  void TearDown() override {
    if (Exports().module) FreeServer();
    Exports().host.Callbacks = {};
  }
  static ComPtr<TServer> NewServer() { return MakeCom<TServer>(Exports().module); }
};

}  // namespace

TEST_F(Lifecycle, InvalidClassIdIsLoggedAndRefused) {
  ASSERT_EQ(SetLogNotify(LogA), -1);
  EXPECT_EQ(CreateServer("not-a-guid", 100), 0);
  ASSERT_EQ(logA.size(), 1u);
  EXPECT_EQ(logA[0], L"[CreateServer]Invalid class identifier: not-a-guid");
  EXPECT_EQ(CreateServer("Some.ProgID", 100), 0);  // a ProgID is not a class identifier
  EXPECT_EQ(logA.size(), 2u);
}

TEST_F(Lifecycle, NilLogProcedureIsRefusedAndThePreviousStays) {
  ASSERT_EQ(SetLogNotify(LogB), -1);
  EXPECT_EQ(SetLogNotify(nullptr), 0);
  EXPECT_EQ(CreateServer("{bad}", 10), 0);
  ASSERT_EQ(logB.size(), 1u);
  EXPECT_EQ(logB[0].rfind(L"[CreateServer]", 0), 0u);
  EXPECT_NE(logB[0].back(), L'\n');
}

TEST_F(Lifecycle, WithoutALogProcedureFailuresAreSilent) {
  EXPECT_EQ(CreateServer("", 10), 0);
  EXPECT_TRUE(logA.empty());
  EXPECT_TRUE(logB.empty());
}

TEST_F(Lifecycle, SettersAcceptNilAndTheExSlotsChangeNothing) {
  EXPECT_EQ(SetReadCallbackEx(reinterpret_cast<void*>(&LogA)), -1);
  EXPECT_EQ(SetWriteCallbackEx(nullptr), -1);
  EXPECT_EQ(SetServerNotify(nullptr), -1);
  EXPECT_EQ(SetReadCallback(nullptr), -1);
  EXPECT_EQ(SetFilterCallback(nullptr), -1);
  EXPECT_EQ(Exports().host.Callbacks.read, nullptr);
  SetLogOption(7);
  EXPECT_EQ(Exports().host.LogOption, 7);
}

TEST_F(Lifecycle, CreateBuildsTheRootAndFreeTearsDown) {
  ASSERT_EQ(CreateServer(kClassId, 250), -1);
  std::shared_ptr<ModuleState> m = Exports().module;
  ASSERT_TRUE(m);
  EXPECT_EQ(m->ServerClassID, std::wstring(classId.begin(), classId.end()));
  EXPECT_EQ(m->ServerScanRate, 250);
  ASSERT_TRUE(m->Space().Root());
  EXPECT_EQ(m->Space().Root()->Name(), L"ROOT");
  EXPECT_TRUE(m->ServerList.empty());
  EXPECT_TRUE(m->Space().Mutex());
  EXPECT_TRUE(m->ClassFactory);
  SetLogNotify(LogA);
  EXPECT_EQ(CreateServer(kClassId, 250), 0);  // one server class per process
  EXPECT_EQ(logA.size(), 1u);
  EXPECT_EQ(FreeServer(), -1);
  EXPECT_FALSE(Exports().module);
  EXPECT_FALSE(m->Space().Root());
  EXPECT_FALSE(m->Space().Mutex());
  EXPECT_FALSE(m->ClassFactory);
  m.reset();
  ASSERT_EQ(CreateServer(kClassId, 10), -1);  // and it can be created again
  EXPECT_EQ(FreeServer(), -1);
}

TEST_F(Lifecycle, FreeLeavesTheTreeWhileAnotherThreadHoldsTheMutex) {
  ASSERT_EQ(CreateServer(kClassId, 10), -1);
  TOPCTag* root = CreatedModule().Space().Root();
  root->AddChild(L"Kept");
  HANDLE mutex = CreatedModule().Space().Mutex();
  HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  MutexHolder ctx{mutex, taken, release};
  HANDLE thread = CreateThread(nullptr, 0, HoldMutex, &ctx, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(taken, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(FreeServer(), -1);
  EXPECT_EQ(root->ChildAt(0)->Name(), L"Kept");  // still in memory for the walker
  SetEvent(release);
  WaitForSingleObject(thread, 5000);
  for (HANDLE h : {thread, taken, release}) CloseHandle(h);
}

TEST_F(Lifecycle, ServerObjectsJoinAndLeaveTheListWithNotifications) {
  ASSERT_EQ(CreateServer(kClassId, 10), -1);
  SetServerNotify(OnServer);
  ComPtr<TServer> a = NewServer();
  ComPtr<TServer> b = NewServer();
  ASSERT_EQ(Exports().module->ServerList.size(), 2u);
  EXPECT_EQ(serverEvents, (std::vector<std::pair<ServerHandle, LONG>>{{a->Handle(), 0}, {b->Handle(), 0}}));
  ServerHandle ha = a->Handle();
  a.Reset();
  EXPECT_EQ(Exports().module->ServerList.size(), 1u);
  EXPECT_EQ(serverEvents.back(), (std::pair<ServerHandle, LONG>{ha, 1}));

  EXPECT_EQ(SetServerState(0x10004), -1);
  EXPECT_EQ(b->ServerState(), 4);
  ComPtr<TServer> c = NewServer();
  EXPECT_EQ(c->ServerState(), 1);  // later servers start running

  serverEvents.clear();
  EXPECT_EQ(FreeServer(), -1);  // destroys them whatever references remain, last first
  EXPECT_EQ(serverEvents, (std::vector<std::pair<ServerHandle, LONG>>{{c->Handle(), 1}, {b->Handle(), 1}}));
  EXPECT_TRUE(b->Destroyed());
  b.Reset();
  c.Reset();
  EXPECT_EQ(serverEvents.size(), 2u);  // no second notification at the final release
}

TEST_F(Lifecycle, ShutDownDestroysEveryServerOnce) {
  ASSERT_EQ(CreateServer(kClassId, 10), -1);
  SetServerNotify(OnServer);
  std::vector<ComPtr<TServer>> held{NewServer(), NewServer(), NewServer()};
  serverEvents.clear();
  ShutDown();
  EXPECT_EQ(serverEvents.size(), 3u);
  for (auto& e : serverEvents) EXPECT_EQ(e.second, 1);
  EXPECT_TRUE(Exports().module->ServerList.empty());
}
