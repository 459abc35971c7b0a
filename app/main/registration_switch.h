#pragma once
// "/RegServer" and "/UnregServer" on the command line (also with '-', in any
// letter case), as installers call a local server: the configured class is
// registered or unregistered without any window, and the program ends.
#include <optional>

namespace opclumbra {

// The exit code when the command line held a registration switch: 0 when it
// succeeded, 1 when not, 2 when the configuration could not be loaded. What
// went wrong goes to the console (see console_report.h).
std::optional<int> RunRegistrationSwitch(const wchar_t* commandLine);

}  // namespace opclumbra
