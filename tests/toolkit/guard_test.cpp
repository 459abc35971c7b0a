#include "guard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "except_handler.h"
#include "exports_state.h"
#include "opc_error.h"

using namespace quillon;

namespace {

std::vector<std::wstring> lines;
void __stdcall OnLog(BSTR line) {
  lines.emplace_back(line, SysStringLen(line));
  SysFreeString(line);
}

class Guards : public ::testing::Test {
 protected:
  void SetUp() override {
    lines.clear();
    Exports().host.Callbacks.log = OnLog;
  }
  void TearDown() override { Exports().host.Callbacks.log = nullptr; }
};

}  // namespace

TEST_F(Guards, EOPCBecomesTheResultWithoutALogLine) {
  EXPECT_EQ(ComGuard(Exports().host, L"Op", E_FAIL, []() -> HRESULT { RaiseOPC(OPC_E_UNKNOWNITEMID); }), OPC_E_UNKNOWNITEMID);
  EXPECT_EQ(ComGuard(Exports().host, L"Op", E_FAIL, []() -> HRESULT { throw EOPC(OPC_S_INUSE); }), OPC_S_INUSE);
  EXPECT_TRUE(lines.empty());
}

TEST_F(Guards, OtherFailuresAreLoggedUnderTheOperationAndGiveTheFailureCode) {
  EXPECT_EQ(ComGuard(Exports().host, L"TGroup.ValidateItems", E_FAIL, []() -> HRESULT { throw std::runtime_error("boom"); }), E_FAIL);
  EXPECT_EQ(ComGuard(Exports().host, L"AddGroup", E_INVALIDARG, []() -> HRESULT { throw 42; }), E_INVALIDARG);
  EXPECT_EQ(ComGuard(Exports().host, L"Read", E_FAIL, []() -> HRESULT { throw std::bad_alloc(); }), E_OUTOFMEMORY);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], L"[TGroup.ValidateItems]boom");
  EXPECT_EQ(lines[1], L"[AddGroup]unknown exception");
  EXPECT_EQ(lines[2].rfind(L"[Read]", 0), 0u);
}

TEST_F(Guards, ALoggedStepThatFailsLetsTheCallerGoOn) {
  int after = 0;
  LoggedStep(Exports().host, L"TGroup.RemoveItem", [] { throw std::runtime_error("host refused"); });
  LoggedStep(Exports().host, L"DoWndProc", [&] { ++after; });
  ++after;
  EXPECT_EQ(after, 2);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], L"[TGroup.RemoveItem]host refused");
}

TEST_F(Guards, ExportGuardReturnsZeroOnAnyFailure) {
  EXPECT_EQ(ExportGuard(Exports().host, L"RegTag", []() -> BOOL { throw std::runtime_error("bad tag"); }), 0);
  EXPECT_EQ(ExportGuard(Exports().host, L"RegTag", []() -> BOOL { return kTrue; }), -1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], L"[RegTag]bad tag");
}

TEST_F(Guards, ExceptHandlerDescribesTheExceptionAndItsModule) {
  EXCEPTION_RECORD rec{};
  rec.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  rec.ExceptionAddress = reinterpret_cast<void*>(&OnLog);
  EXCEPTION_POINTERS info{&rec, nullptr};
  EXPECT_EQ(ExceptHandler(&info), EXCEPTION_CONTINUE_SEARCH);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind(L"[ExceptHandler]Exception C0000005 in module toolkit_tests.exe at ", 0), 0u) << lines[0];
}
