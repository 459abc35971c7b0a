#include "file_switch.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "ansi_codepage_win.h"
#include "component_stream.h"
#include "config_file.h"
#include "config_store.h"
#include "command_line.h"
#include "console_report.h"
#include "data_type_table.h"
#include "model_error.h"
#include "tag_csv.h"
#include "tag_manager.h"
#include "ui_text.h"
#include "value_conversion.h"

namespace opclumbra {
namespace {

constexpr wchar_t kUsage[] =
    L"OPCLumbra [switch]\r\n"
    L"  (none)             serve the configured tags, behind a tray icon\r\n"
    L"  /RegServer         register the configured server class, and end\r\n"
    L"  /UnregServer       unregister it, and end\r\n"
    L"  /Export FILE       write the configured tree and server settings to FILE (UTF-8 CSV), and end\r\n"
    L"  /Import FILE       read such a file into the configuration beside the program, all or nothing,\r\n"
    L"                     keeping the previous configuration as a .bak copy, and end\r\n"
    L"  /?                 this list\r\n";

void Say(const std::wstring& text) { quillon::ReportToConsole(L"OPCLumbra: " + text + L"\r\n"); }

std::filesystem::path ProgramPath() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(std::wstring(path, n));
}

bool ValueFits(std::u16string_view text, std::uint16_t dataType) {
  try {
    VARIANT v = TextToVariant(std::u16string(text), DataTypeTable::Lookup(dataType).varType);
    VariantClear(&v);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

int Export(const std::filesystem::path& target) {
  TTagManager manager;
  TConfigStore store(ConfigFileName(ProgramPath()));
  try {
    store.Load(manager, WindowsAnsiCodePage());
  } catch (const EModelError& e) {
    Say(L"配置文件[ " + store.Path().wstring() + L" ]无法读取: " + W(e.Message()));
    return 2;
  }
  const std::string bytes = ExportTagCsv(manager);
  std::ofstream file(target, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), std::streamsize(bytes.size()));
  file.close();
  if (!file) {
    Say(L"cannot write [ " + target.wstring() + L" ]");
    return 1;
  }
  return 0;
}

int Import(const std::filesystem::path& source) {
  std::string bytes;
  try {
    std::vector<std::uint8_t> read = ReadWholeFile(source);
    bytes.assign(read.begin(), read.end());
  } catch (const EModelError&) {
    Say(L"cannot read [ " + source.wstring() + L" ]");
    return 1;
  }
  TTagManager manager;
  TConfigStore store(ConfigFileName(ProgramPath()));
  try {
    store.Load(manager, WindowsAnsiCodePage());
  } catch (const EModelError&) {
    // The unreadable file is kept as a copy when the import writes over it.
  }
  std::vector<CsvProblem> problems = ImportTagCsv(bytes, manager, ValueFits);
  if (!problems.empty()) {
    std::wstring text = L"[ " + source.wstring() + L" ] was not imported; the configuration is unchanged:\r\n";
    for (const CsvProblem& p : problems)
      text += L"  line " + std::to_wstring(p.line) + (p.field.empty() ? L"" : L", " + W(p.field)) + L": " +
              W(p.message) + L"\r\n";
    quillon::ReportToConsole(L"OPCLumbra: " + text);
    return 1;
  }
  try {
    // Composed first: a text the code page cannot hold stops the import
    // before anything is copied or written.
    WriteComponentStream(manager, WindowsAnsiCodePage());
    store.KeepCopy();
    store.Save(manager, WindowsAnsiCodePage());
  } catch (const EModelError& e) {
    Say(L"[ " + source.wstring() + L" ] was not imported: " + W(e.Message()));
    return 1;
  }
  Say(L"[ " + source.wstring() + L" ] imported into [ " + store.Path().wstring() + L" ]" +
      (store.Backup() ? L"; the previous configuration is kept as [ " + store.Backup()->wstring() + L" ]" : L""));
  return 0;
}

}  // namespace

std::optional<int> RunFileSwitch(const wchar_t* commandLine) {
  const std::vector<std::wstring> argv = quillon::ProgramArguments(commandLine);
  for (size_t i = 0; i < argv.size(); ++i) {
    std::wstring_view arg = argv[i];
    if (arg.size() < 2 || (arg[0] != L'/' && arg[0] != L'-')) continue;
    std::wstring_view name = arg.substr(1);
    if (name == L"?" || SameTextAscii(name, L"HELP")) {
      quillon::ReportToConsole(kUsage);
      return 0;
    }
    const bool exporting = SameTextAscii(name, L"EXPORT");
    if (!exporting && !SameTextAscii(name, L"IMPORT")) continue;
    if (i + 1 >= argv.size() || argv[i + 1].empty()) {
      Say(std::wstring(arg) + L" needs a file name\r\n" + kUsage);
      return 1;
    }
    std::filesystem::path file(argv[i + 1]);
    return exporting ? Export(file) : Import(file);
  }
  return std::nullopt;
}

}  // namespace opclumbra
