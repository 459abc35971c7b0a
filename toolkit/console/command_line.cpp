#include "command_line.h"

#include <windows.h>
#include <shellapi.h>

namespace quillon {

std::vector<std::wstring> ProgramArguments(const wchar_t* commandLine) {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(commandLine, &count);
  std::vector<std::wstring> args;
  for (int i = 1; argv && i < count; ++i) args.emplace_back(argv[i]);
  LocalFree(argv);
  return args;
}

}  // namespace quillon
