// A host program's view of Quillon.dll: loaded by name, functions found by
// name (and SetLogOption by its two ordinals), callbacks installed.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quillon.h"

namespace {

std::vector<std::wstring> lines;
void __stdcall OnLog(BSTR line) {
  lines.emplace_back(line, SysStringLen(line));
  SysFreeString(line);
}

class HostApi : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { dll = LoadLibraryW(L"Quillon.dll"); }
  void SetUp() override {
    ASSERT_NE(dll, nullptr);
    lines.clear();
  }
  template <class F>
  static F Get(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
  }
  static HMODULE dll;
};
HMODULE HostApi::dll = nullptr;

}  // namespace

TEST_F(HostApi, EveryFunctionIsExportedByItsPlainName) {
  for (const char* name : {"CreateServer", "FreeServer", "SetServerState", "ShutDown", "SetVensionInfo",
                           "SetServerNotify", "SetGroupNotify", "SetItemNotify", "SetTagNotify",
                           "SetReadCallback", "SetWriteCallback", "SetFilterCallback", "SetReadCallbackEx",
                           "SetWriteCallbackEx", "SetLogNotify", "SetLogOption"})
    EXPECT_NE(GetProcAddress(dll, name), nullptr) << name;
  EXPECT_EQ(GetProcAddress(dll, "CreateServer@8"), nullptr);
}

TEST_F(HostApi, SetLogOptionAnswersAtOrdinalsSixAndTwentyThree) {
  FARPROC byName = GetProcAddress(dll, "SetLogOption");
  ASSERT_NE(byName, nullptr);
  EXPECT_EQ(GetProcAddress(dll, MAKEINTRESOURCEA(6)), byName);
  EXPECT_EQ(GetProcAddress(dll, MAKEINTRESOURCEA(23)), byName);
  reinterpret_cast<void(__stdcall*)(WORD)>(reinterpret_cast<void*>(byName))(3);
}

TEST_F(HostApi, LogLinesReachTheHostAndFailuresReturnZero) {
  auto setLogNotify = Get<BOOL(__stdcall*)(LogNotifyProc)>("SetLogNotify");
  auto createServer = Get<BOOL(__stdcall*)(const char*, LONG)>("CreateServer");
  ASSERT_EQ(setLogNotify(OnLog), -1);
  EXPECT_EQ(setLogNotify(nullptr), 0);
  EXPECT_EQ(createServer("{12345678-XXXX}", 10), 0);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], L"[CreateServer]Invalid class identifier: {12345678-XXXX}");
}

TEST_F(HostApi, CreateAndFreeAndTheSetters) {
  GUID g;
  CoCreateGuid(&g);
  wchar_t w[40];
  StringFromGUID2(g, w, 40);
  const std::string classId(w, w + 38);
  auto createServer = Get<BOOL(__stdcall*)(const char*, LONG)>("CreateServer");
  auto freeServer = Get<BOOL(__stdcall*)()>("FreeServer");
  auto setServerState = Get<BOOL(__stdcall*)(LONG)>("SetServerState");
  auto setVersion = Get<BOOL(__stdcall*)(const char*, WORD, WORD, WORD)>("SetVensionInfo");
  auto setReadEx = Get<BOOL(__stdcall*)(void*)>("SetReadCallbackEx");
  auto setServerNotify = Get<BOOL(__stdcall*)(ServerNotifyProc)>("SetServerNotify");
  auto shutDown = Get<void(__stdcall*)()>("ShutDown");
  ASSERT_TRUE(createServer && freeServer && setServerState && setVersion && setReadEx && setServerNotify && shutDown);
  EXPECT_EQ(setVersion("Test vendor", 2, 1, 7), -1);
  EXPECT_EQ(setReadEx(nullptr), -1);
  EXPECT_EQ(setServerNotify(nullptr), -1);
  ASSERT_EQ(createServer(classId.c_str(), 50), -1);
  EXPECT_EQ(setServerState(4), -1);
  shutDown();
  EXPECT_EQ(freeServer(), -1);
  EXPECT_EQ(createServer(classId.c_str(), 50), -1);
  EXPECT_EQ(freeServer(), -1);
  EXPECT_TRUE(lines.empty());
}
