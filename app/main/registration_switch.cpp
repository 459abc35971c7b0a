#include "registration_switch.h"

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ansi_codepage_win.h"
#include "binding_host.h"
#include "command_line.h"
#include "console_report.h"
#include "config_file.h"
#include "config_store.h"
#include "model_error.h"
#include "tag_manager.h"
#include "toolkit_binding.h"
#include "ui_text.h"

namespace opclumbra {
namespace {

// Keeps the log lines, which say why a registration failed.
class RecordingHost final : public BindingHost {
 public:
  void AddLogLine(const std::u16string& line) override { lines.push_back(W(line)); }
  void RunExit() override {}
  void RefreshRow(TTag&) override {}
  void StartClock() override {}

  std::vector<std::wstring> lines;
};

void ReportFailure(const std::wstring& headline, const std::vector<std::wstring>& reasons) {
  std::wstring text = L"OPCLumbra: " + headline + L"\r\n";
  for (const std::wstring& reason : reasons) text += L"  " + reason + L"\r\n";
  quillon::ReportToConsole(text);
}

std::wstring ProgramPath() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, n);
}

}  // namespace

std::optional<int> RunRegistrationSwitch(const wchar_t* commandLine) {
  std::optional<bool> registering;
  for (const std::wstring& a : quillon::ProgramArguments(commandLine)) {
    std::wstring_view arg = a;
    if (arg.size() < 2 || (arg[0] != L'/' && arg[0] != L'-')) continue;
    if (SameTextAscii(arg.substr(1), L"REGSERVER")) registering = true;
    if (SameTextAscii(arg.substr(1), L"UNREGSERVER")) registering = false;
  }
  if (!registering) return std::nullopt;

  const std::wstring program = ProgramPath();
  TTagManager manager;
  TConfigStore store(ConfigFileName(std::filesystem::path(program)));
  try {
    store.Load(manager, WindowsAnsiCodePage());
  } catch (const EModelError& e) {
    ReportFailure(L"配置文件[ " + store.Path().wstring() + L" ]无法读取, 服务器未" +
                      (*registering ? L"注册" : L"注销"),
                  {W(e.Message())});
    return 2;
  }
  RecordingHost host;
  TToolkitBinding binding(manager, host);
  if (*registering ? binding.Register(program) : binding.Unregister()) return 0;
  ReportFailure(*registering ? L"OPC服务器注册失败!" : L"OPC服务器注销失败!", host.lines);
  return 1;
}

}  // namespace opclumbra
