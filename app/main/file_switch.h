#pragma once
// The switches that work on the configuration without any window, so that a
// tree can be defined with no display: "/Export FILE" writes it as CSV (see
// tag_csv.h), "/Import FILE" reads such a file into the configuration file
// beside the program, "/?" lists every switch. Also with '-', in any letter case.
#include <optional>

namespace opclumbra {

// The exit code when the command line held one of these switches: 0 when it
// succeeded; 1 when not, every reason written to the console (see
// console_report.h); 2 when the configuration could not be loaded.
std::optional<int> RunFileSwitch(const wchar_t* commandLine);

}  // namespace opclumbra
