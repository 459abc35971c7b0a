#include "registration_switch.h"

#include <windows.h>
#include <shellapi.h>

#include <filesystem>
#include <string>

#include "ansi_codepage_win.h"
#include "binding_host.h"
#include "config_file.h"
#include "config_store.h"
#include "model_error.h"
#include "tag_manager.h"
#include "toolkit_binding.h"
#include "ui_text.h"

namespace opclumbra {
namespace {

class SilentHost final : public BindingHost {
 public:
  void AddLogLine(const std::u16string&) override {}
  void RunExit() override {}
  void RefreshRow(TTag&) override {}
  void StartClock() override {}
};

std::wstring ProgramPath() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, n);
}

}  // namespace

std::optional<int> RunRegistrationSwitch(const wchar_t* commandLine) {
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(commandLine, &count);
  if (!args) return std::nullopt;
  std::optional<bool> registering;
  for (int i = 1; i < count; ++i) {
    std::wstring_view arg = args[i];
    if (arg.size() < 2 || (arg[0] != L'/' && arg[0] != L'-')) continue;
    if (SameTextAscii(arg.substr(1), L"REGSERVER")) registering = true;
    if (SameTextAscii(arg.substr(1), L"UNREGSERVER")) registering = false;
  }
  LocalFree(args);
  if (!registering) return std::nullopt;

  const std::wstring program = ProgramPath();
  TTagManager manager;
  TConfigStore store(ConfigFileName(std::filesystem::path(program)));
  try {
    store.Load(manager, WindowsAnsiCodePage());
  } catch (const EModelError&) {
    return 2;
  }
  SilentHost host;
  TToolkitBinding binding(manager, host);
  const bool done = *registering ? binding.Register(program) : binding.Unregister();
  return done ? 0 : 1;
}

}  // namespace opclumbra
