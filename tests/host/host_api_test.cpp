// A host program's view of Quillon.dll: loaded by name, functions found by
// name (and SetLogOption by its two ordinals), callbacks installed.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quillon_dll.h"

namespace {

std::vector<std::wstring> lines;
void __stdcall OnLog(BSTR line) {
  lines.emplace_back(line, SysStringLen(line));
  SysFreeString(line);
}

class HostApi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(q.module, nullptr);
    dll = q.module;
    lines.clear();
  }
  QuillonDll q;
  HMODULE dll = nullptr;
};

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
  auto setLogNotify = q.SetLogNotify;
  auto createServer = q.CreateServer;
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
  auto createServer = q.CreateServer;
  auto freeServer = q.FreeServer;
  auto setServerState = q.SetServerState;
  auto setVersion = q.SetVensionInfo;
  auto setReadEx = q.SetReadCallbackEx;
  auto setServerNotify = q.SetServerNotify;
  auto shutDown = q.ShutDown;
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
