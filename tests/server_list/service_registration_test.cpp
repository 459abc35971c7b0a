// Registration of the service: written where no service is registered, never
// over another vendor's, and taken back only when it is this program's.
#include "service_registration.h"

#include <objbase.h>

#include "opc_server_list.h"
#include "registry_sandbox.h"

namespace serverlist_test {
namespace {

using serverlist::CurrentRegistration;
using serverlist::ProgramOfCommand;
using serverlist::Registered;
using serverlist::RegisterService;
using serverlist::UnregisterService;

const std::wstring kClass = L"CLSID\\{13486D51-4821-11D2-A494-3CB306C10000}";
const std::wstring kServerListInterface = L"Interface\\{13486D50-4821-11D2-A494-3CB306C10000}";

std::wstring Folder(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/") + 1); }

std::wstring ThisProgram() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

std::wstring SystemProgram(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  GetSystemDirectoryW(dir, MAX_PATH);
  return std::wstring(dir) + L"\\" + name;
}

class ServiceRegistration : public RegistrySandbox {
 protected:
  const std::wstring program_ = ThisProgram();
  const std::wstring proxy_ = Folder(ThisProgram()) + QUILLON_SERVER_LIST_PROXY_DLL;
};

TEST_F(ServiceRegistration, WhereNoneIsRegisteredWritesClassProgIdsAndProxiesAndTakesThemBack) {
  EXPECT_EQ(CurrentRegistration().kind, Registered::kNone);
  auto r = RegisterService(program_, proxy_);
  ASSERT_TRUE(r.ok) << testing::PrintToString(r.message);
  EXPECT_EQ(Get(kClass + L"\\LocalServer32"), L"\"" + program_ + L"\"");
  EXPECT_EQ(Get(kClass + L"\\ProgID"), L"OPC.ServerList.1");
  EXPECT_EQ(Get(kClass + L"\\VersionIndependentProgID"), L"OPC.ServerList");
  EXPECT_EQ(Get(L"OPC.ServerList.1\\CLSID"), L"{13486D51-4821-11D2-A494-3CB306C10000}");
  EXPECT_EQ(Get(L"OPC.ServerList\\CLSID"), L"{13486D51-4821-11D2-A494-3CB306C10000}");
  EXPECT_EQ(Get(L"OPC.ServerList\\CurVer"), L"OPC.ServerList.1");
  // The three interfaces go to the list's own proxy/stub factory.
  for (const wchar_t* iid : {L"{13486D50-4821-11D2-A494-3CB306C10000}", L"{9DD0B56C-AD9E-43EE-8305-487F3188BF7A}",
                             L"{55C382C8-21C7-4E88-96C1-BECFB1E3F483}"})
    EXPECT_EQ(Get(std::wstring(L"Interface\\") + iid + L"\\ProxyStubClsid32"),
              L"{6B0E1C4F-3A52-4E8B-9D71-2F6C8A0B5E13}")
        << iid;
  Registered now = CurrentRegistration();
  EXPECT_EQ(now.kind, Registered::kProgram);
  EXPECT_EQ(now.where, program_);

  // Registering again changes nothing and is no failure.
  ASSERT_TRUE(RegisterService(program_, proxy_).ok);

  r = UnregisterService(program_, proxy_);
  ASSERT_TRUE(r.ok) << testing::PrintToString(r.message);
  for (const std::wstring& key : {kClass, std::wstring(L"OPC.ServerList.1"), std::wstring(L"OPC.ServerList"),
                                  kServerListInterface})
    EXPECT_FALSE(Exists(key)) << testing::PrintToString(key);
}

TEST_F(ServiceRegistration, AnotherLiveProgramStaysInChargeAndIsNeverRemoved) {
  const std::wstring other = SystemProgram(L"notepad.exe");
  ASSERT_NE(GetFileAttributesW(other.c_str()), INVALID_FILE_ATTRIBUTES);
  Set(kClass + L"\\LocalServer32", nullptr, other + L" -Service");

  auto r = RegisterService(program_, proxy_);
  EXPECT_TRUE(r.ok);
  EXPECT_NE(r.message.find(L"stays in charge"), std::wstring::npos) << testing::PrintToString(r.message);
  EXPECT_EQ(Get(kClass + L"\\LocalServer32"), other + L" -Service");
  EXPECT_FALSE(Exists(L"OPC.ServerList.1"));
  EXPECT_FALSE(Exists(kServerListInterface)) << "its proxies are not replaced either";

  r = UnregisterService(program_, proxy_);
  EXPECT_TRUE(r.ok);
  EXPECT_NE(r.message.find(L"left as it is"), std::wstring::npos) << testing::PrintToString(r.message);
  EXPECT_EQ(Get(kClass + L"\\LocalServer32"), other + L" -Service");
}

TEST_F(ServiceRegistration, AWindowsServiceStaysInCharge) {
  Set(kClass, L"AppID", L"{0C4C1A4E-5D0B-4A51-9E35-3D4F7C2B1A90}");
  Set(L"AppID\\{0C4C1A4E-5D0B-4A51-9E35-3D4F7C2B1A90}", L"LocalService", L"OtherListService");
  Registered now = CurrentRegistration();
  EXPECT_EQ(now.kind, Registered::kService);
  EXPECT_EQ(now.where, L"OtherListService");

  auto r = RegisterService(program_, proxy_);
  EXPECT_TRUE(r.ok);
  EXPECT_NE(r.message.find(L"\"OtherListService\""), std::wstring::npos) << testing::PrintToString(r.message);
  EXPECT_FALSE(Exists(kClass + L"\\LocalServer32"));
  EXPECT_TRUE(UnregisterService(program_, proxy_).ok);
  EXPECT_EQ(Get(kClass, L"AppID"), L"{0C4C1A4E-5D0B-4A51-9E35-3D4F7C2B1A90}");
}

TEST_F(ServiceRegistration, ARegistrationWhoseProgramIsGoneIsReplaced) {
  Set(kClass + L"\\LocalServer32", nullptr, L"\"C:\\nowhere\\gone list.exe\" -Embedding");
  auto r = RegisterService(program_, proxy_);
  ASSERT_TRUE(r.ok);
  EXPECT_NE(r.message.find(L"C:\\nowhere\\gone list.exe, which is gone"), std::wstring::npos)
      << testing::PrintToString(r.message);
  EXPECT_EQ(Get(kClass + L"\\LocalServer32"), L"\"" + program_ + L"\"");
  EXPECT_TRUE(UnregisterService(program_, proxy_).ok);
}

TEST_F(ServiceRegistration, UnregisteringKeepsAProgIdThatNowNamesAnotherClass) {
  ASSERT_TRUE(RegisterService(program_, proxy_).ok);
  Set(L"OPC.ServerList\\CLSID", nullptr, L"{2B1F3C4D-5E6F-4A7B-8C9D-0E1F2A3B4C5D}");
  ASSERT_TRUE(UnregisterService(program_, proxy_).ok);
  EXPECT_FALSE(Exists(kClass));
  EXPECT_FALSE(Exists(L"OPC.ServerList.1"));
  EXPECT_EQ(Get(L"OPC.ServerList\\CLSID"), L"{2B1F3C4D-5E6F-4A7B-8C9D-0E1F2A3B4C5D}");
}

TEST_F(ServiceRegistration, AProxyDllThatCannotBeLoadedFailsTheRegistrationWithTheReason) {
  auto r = RegisterService(program_, L"C:\\nowhere\\NoSuchPS.dll");
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find(L"cannot load C:\\nowhere\\NoSuchPS.dll"), std::wstring::npos)
      << testing::PrintToString(r.message);
  EXPECT_FALSE(Exists(kServerListInterface));
  EXPECT_FALSE(Exists(kClass)) << "no class without its proxies";
}

TEST(ServiceCommand, TheProgramIsFoundWithOrWithoutQuotesAndArguments) {
  EXPECT_EQ(ProgramOfCommand(L"\"C:\\Program Files\\A\\list.exe\" -Service"), L"C:\\Program Files\\A\\list.exe");
  EXPECT_EQ(ProgramOfCommand(L"C:\\Program Files\\A\\List.EXE -Service"), L"C:\\Program Files\\A\\List.EXE");
  EXPECT_EQ(ProgramOfCommand(L"  C:\\bin\\list.exe"), L"C:\\bin\\list.exe");
  EXPECT_EQ(ProgramOfCommand(L"C:\\bin\\list -x"), L"C:\\bin\\list");
  EXPECT_EQ(ProgramOfCommand(L"\"C:\\unterminated"), L"C:\\unterminated");
  EXPECT_EQ(ProgramOfCommand(L"   "), L"");
}

}  // namespace
}  // namespace serverlist_test
