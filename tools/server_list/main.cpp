// OPCServerList.exe: the OPC server list service, a local COM server that
// lists the OPC servers registered on this machine by component category.
//   OPCServerList.exe /RegServer     register it (unless another service is)
//   OPCServerList.exe /UnregServer   take its registration back
//   OPCServerList.exe [-Embedding]   serve; COM starts it so
#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "apartment.h"
#include "class_factory.h"
#include "command_line.h"
#include "console_report.h"
#include "logging.h"
#include "opc_server_list.h"
#include "process_reference.h"
#include "service_registration.h"

namespace serverlist {
namespace {

constexpr wchar_t kUsage[] =
    L"OPCServerList.exe: the OPC server list service\r\n"
    L"  /RegServer     register this program as the server list service,\r\n"
    L"                 unless another service is registered already\r\n"
    L"  /UnregServer   remove this program's registration\r\n"
    L"  -Embedding     serve clients (COM starts the program so)\r\n"
    L"  /?             this text\r\n";

// A program started by COM for a client that then gives up would wait
// forever for its first object.
constexpr UINT kIdleLimitMs = 60000;

class DebugLog : public quillon::LogSink {
 public:
  void LogOperationError(std::wstring_view message, std::wstring_view operation) const noexcept override {
    try {
      OutputDebugStringW((L"[" + std::wstring(operation) + L"]" + std::wstring(message) + L"\n").c_str());
    } catch (...) {
    }
  }
};

bool IsSwitch(const std::wstring& arg, const wchar_t* name) {
  return arg.size() > 1 && (arg[0] == L'/' || arg[0] == L'-') &&
         CompareStringOrdinal(arg.c_str() + 1, -1, name, -1, TRUE) == CSTR_EQUAL;
}

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    if (n < path.size()) return path.substr(0, n);
    path.resize(path.size() * 2);
  }
}

std::wstring ProxyBeside(const std::wstring& program) {
  return program.substr(0, program.find_last_of(L"\\/") + 1) + L"OPCServerListPS.dll";
}

int Report(const RegistrationResult& r) {
  quillon::ReportToConsole(L"OPCServerList: " + r.message + L"\r\n");
  return r.ok ? 0 : 1;
}

int Serve() {
  static const DebugLog log;
  quillon::Apartment apartment(COINIT_APARTMENTTHREADED);
  if (FAILED(apartment.Result())) return 1;
  SetServiceThread(GetCurrentThreadId());
  DWORD cookie = 0;
  HRESULT hr = CoRegisterClassObject(CLSID_OpcServerList, MakeServerListFactory(log).Get(), CLSCTX_LOCAL_SERVER,
                                     REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &cookie);
  if (FAILED(hr)) return 1;
  CoResumeClassObjects();
  UINT_PTR idle = SetTimer(nullptr, 0, kIdleLimitMs, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.wParam == idle) {
      KillTimer(nullptr, idle);
      if (!EverReferenced()) break;
      continue;
    }
    DispatchMessageW(&msg);
  }
  CoRevokeClassObject(cookie);
  return 0;
}

int Run() {
  const std::vector<std::wstring> args = quillon::ProgramArguments(GetCommandLineW());
  if (args.empty() || (args.size() == 1 && IsSwitch(args[0], L"Embedding"))) return Serve();
  if (args.size() == 1 && (IsSwitch(args[0], L"RegServer") || IsSwitch(args[0], L"UnregServer"))) {
    const std::wstring program = ModulePath();
    return Report(IsSwitch(args[0], L"RegServer") ? RegisterService(program, ProxyBeside(program))
                                                  : UnregisterService(program, ProxyBeside(program)));
  }
  quillon::ReportToConsole(kUsage);
  return args.size() == 1 && IsSwitch(args[0], L"?") ? 0 : 1;
}

}  // namespace
}  // namespace serverlist

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return serverlist::Run(); }
