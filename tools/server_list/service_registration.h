#pragma once
// Registering this program as the machine's OPC server list service, and
// taking it back. A machine has one such service: one already registered by
// another program (the OPC core components' Windows service, say) is never
// replaced nor removed, so installing or removing ours cannot break the
// clients that rely on it.
#include <string>

namespace serverlist {

// Who serves the server list class now.
struct Registered {
  enum Kind { kNone, kProgram, kService } kind = kNone;
  std::wstring where;  // the program's path (no quotes, no arguments), or the Windows service's name
};

Registered CurrentRegistration();

struct RegistrationResult {
  bool ok = false;
  std::wstring message;  // what was done, or why it was not
};

// Program is this program's full path; ProxyDll the proxy/stub DLL of the
// interfaces, registered and unregistered with it.
RegistrationResult RegisterService(const std::wstring& program, const std::wstring& proxyDll);
RegistrationResult UnregisterService(const std::wstring& program, const std::wstring& proxyDll);

// The program a LocalServer32 value starts: quotes and arguments removed.
std::wstring ProgramOfCommand(const std::wstring& command);

}  // namespace serverlist
