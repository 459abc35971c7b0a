
#include "group.h"
#include "server_factory.h"

namespace quillon {

ModuleState::ModuleState(HostPort& host, std::wstring classId, int32_t scanRate, LONG defaultTimeBias,
                         StreamFormats formats)
    : Host(host),
      ServerClassID(std::move(classId)),
      ServerScanRate(scanRate),
      DefaultTimeBias(defaultTimeBias),
      Groups(std::make_shared<const GroupContext>(
          GroupContext{host, std::make_shared<AddressSpace>(host, scanRate), scanRate, defaultTimeBias, formats})) {}

ModuleState::~ModuleState() = default;

int32_t ComputeDefaultTimeBias() {
  TIME_ZONE_INFORMATION tz{};
  switch (GetTimeZoneInformation(&tz)) {
    case TIME_ZONE_ID_STANDARD: return tz.Bias + tz.StandardBias;
    case TIME_ZONE_ID_DAYLIGHT: return tz.Bias + tz.DaylightBias;
    default: return 0;
  }
}

}  // namespace quillon
