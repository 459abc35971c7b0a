#include "module_state.h"

#include "../address_space/opc_tag.h"
#include "../group/group.h"

namespace quillon {

ModuleState& Module() {
  static ModuleState state;
  return state;
}

int32_t ComputeDefaultTimeBias() {
  TIME_ZONE_INFORMATION tz{};
  switch (GetTimeZoneInformation(&tz)) {
    case TIME_ZONE_ID_STANDARD: return tz.Bias + tz.StandardBias;
    case TIME_ZONE_ID_DAYLIGHT: return tz.Bias + tz.DaylightBias;
    default: return 0;
  }
}

void RegisterStreamFormats(ModuleState& m) {
  m.FormatData = RegisterClipboardFormatW(L"OPCSTMFORMATDATA");
  m.FormatDataTime = RegisterClipboardFormatW(L"OPCSTMFORMATDATATIME");
  m.FormatWriteComplete = RegisterClipboardFormatW(L"OPCSTMFORMATWRITECOMPLETE");
}

}  // namespace quillon
