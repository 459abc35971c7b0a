#pragma once
// Text for whoever started the program from a command line or an installer.
// The program has no console of its own and must never wait for a person
// here: the text goes to the standard error handle it inherited (a pipe, a
// file, or Wine's terminal), else to the console of the parent process when
// it has one, else nowhere, and the exit code alone tells.
#include <string>

namespace quillon {

void ReportToConsole(const std::wstring& text);

}  // namespace quillon
