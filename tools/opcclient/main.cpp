// opcclient: a command-line client of OPC Data Access servers (see --help,
// and exit_codes.h for what the exit code says).
#include <windows.h>
#include <objbase.h>

#include <new>
#include <string>
#include <vector>

#include "apartment.h"
#include "command_line.h"
#include "commands.h"
#include "options.h"
#include "output.h"
#include "server.h"
#include "watchdog.h"

namespace opcclient {
namespace {

int Execute(const Options& o, Reporter& report) {
  if (o.command == Command::kList) return ListServers(o.serverList, report);
  const ComPtr<IOPCServer> server = ConnectServer(o.server, report);
  switch (o.command) {
    case Command::kStatus: return ShowStatus(server, report);
    case Command::kBrowse: return BrowseAddressSpace(server, o, report);
    case Command::kBrowse3: return BrowseElements(server, o, report);
    case Command::kRead: return ReadThroughGroup(server, o, report);
    case Command::kItemRead: return ReadByItemId(server, o, report);
    case Command::kWrite: return WriteThroughGroup(server, o, report);
    case Command::kItemWrite: return WriteByItemId(server, o, report);
    case Command::kProperties: return ShowProperties(server, o, report);
    case Command::kSubscribe: return Subscribe(server, o, report);
    default: return kUsage;
  }
}

int Run() {
  InitOutput();
  const ParsedArgs parsed = ParseArgs(quillon::ProgramArguments(GetCommandLineW()));
  if (!parsed.error.empty()) {
    PrintError("opcclient: " + parsed.error + " (see opcclient --help)");
    return kUsage;
  }
  const Options& o = parsed.options;
  if (o.command == Command::kHelp) {
    std::fputs(UsageText(), stdout);
    return kOk;
  }
  if (o.command == Command::kVersion) {
    std::fputs("opcclient " QUILLON_VERSION "\n", stdout);
    return kOk;
  }

  quillon::Apartment apartment(COINIT_APARTMENTTHREADED);
  if (FAILED(apartment.Result())) {
    Reporter().Error("CoInitializeEx", apartment.Result());
    return kCallFailed;
  }
  // Callbacks must reach this client even from a server running as another
  // user, which would fail the default authentication.
  CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_NONE, RPC_C_IMP_LEVEL_IDENTIFY, nullptr,
                       EOAC_NONE, nullptr);
  DWORD limit = o.timeoutSeconds * 1000;
  if (limit && o.command == Command::kSubscribe) limit += o.seconds * 1000;
  Watchdog watchdog(limit);
  Reporter report;
  try {
    return Execute(o, report);
  } catch (const Failure& f) {
    return f.code;
  } catch (const std::bad_alloc&) {
    report.Error("out of memory");
    return kCallFailed;
  }
}

}  // namespace
}  // namespace opcclient

int main() { return opcclient::Run(); }
