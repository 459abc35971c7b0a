#include <string>

#include "commands.h"
#include "output.h"
#include "task_mem.h"
#include "values.h"

namespace opcclient {
namespace {

std::string StateName(OPCSERVERSTATE state) {
  static const char* const kNames[] = {"RUNNING", "FAILED", "NOCONFIG", "SUSPENDED", "TEST", "COMM_FAULT"};
  const int i = int(state) - 1;
  return std::to_string(int(state)) + " " + (i >= 0 && i < 6 ? kNames[i] : "UNKNOWN");
}

}  // namespace

int ShowStatus(const ComPtr<IOPCServer>& server, Reporter& report) {
  quillon::TaskPtr<OPCSERVERSTATUS> status;
  report.Check(server->GetStatus(status.Put()), "GetStatus");
  const OPCSERVERSTATUS* s = status.Get();
  if (!s) {
    report.Error("GetStatus returned no status");
    throw Failure{kCallFailed};
  }
  PrintFields({"state", StateName(s->dwServerState)});
  PrintFields({"start_time", IsoTime(s->ftStartTime)});
  PrintFields({"current_time", IsoTime(s->ftCurrentTime)});
  PrintFields({"last_update_time", IsoTime(s->ftLastUpdateTime)});
  PrintFields({"group_count", std::to_string(s->dwGroupCount)});
  PrintFields({"band_width", std::to_string(s->dwBandWidth)});
  PrintFields({"version", std::to_string(s->wMajorVersion) + "." + std::to_string(s->wMinorVersion) + "." +
                              std::to_string(s->wBuildNumber)});
  PrintFields({"vendor_info", Field(s->szVendorInfo ? s->szVendorInfo : L"")});
  return kOk;
}

}  // namespace opcclient
