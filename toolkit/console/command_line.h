#pragma once
// The arguments of a command line, as the C runtime would split them, the
// program's own name left out.
#include <string>
#include <vector>

namespace quillon {

std::vector<std::wstring> ProgramArguments(const wchar_t* commandLine);

}  // namespace quillon
