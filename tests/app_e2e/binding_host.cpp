// A headless host of OPCLumbra's own binding code for the end-to-end tests:
// loads a configuration file and starts the binding exactly as the program
// does, records what the binding asks of the main window, and pumps messages.
//   app_binding_host.exe EVENTS_FILE EVENT_PREFIX CONFIG_FILE
//
// Named events (EVENT_PREFIX + suffix), as e2e_host.exe:
//   .ready    set once the binding has started
//   .quit     set by the test: End, then exit
//   .command  set by the test after writing "SEQ COMMAND ARGS" into
//             EVENTS_FILE.cmd; the host runs it and records "done SEQ".
// Command: own PATH DAYS TEXT — sets the program's own copy of the tag PATH
// (names joined by '.') to TEXT, converted to the tag's data type, with the
// local time DAYS (days since 1899-12-30), without telling the toolkit.
//
// Lines of the events file (UTF-8):
//   ready | log TEXT | exit asked | refresh PATH | clock | done SEQ | ended
//   load error TEXT
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "ansi_codepage_win.h"
#include "config_file.h"
#include "data_type_table.h"
#include "model_error.h"
#include "tag.h"
#include "tag_manager.h"
#include "toolkit_binding.h"
#include "utf8.h"
#include "value_conversion.h"

using namespace opclumbra;

namespace {

FILE* events = nullptr;

void Record(const std::string& line) {
  std::fputs(line.c_str(), events);
  std::fputc('\n', events);
  std::fflush(events);
}

class RecordingWindow : public BindingHost {
 public:
  void AddLogLine(const std::u16string& line) override { Record("log " + Utf16ToUtf8Lossy(line)); }
  void RunExit() override { Record("exit asked"); }
  void RefreshRow(TTag& tag) override { Record("refresh " + Utf16ToUtf8Lossy(tag.NamePath())); }
  void StartClock() override { Record("clock"); }
};

TTag* FindPath(TTagManager& manager, const std::string& path) {
  TNamedItem* node = &manager;
  std::istringstream names(path);
  for (std::string name; node && std::getline(names, name, '.');) node = node->FindChild(Utf8ToUtf16(name).value_or(u""));
  return node == &manager ? nullptr : dynamic_cast<TTag*>(node);
}

void RunCommand(TTagManager& manager, const std::string& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  std::istringstream words(line);
  unsigned long seq = 0;
  std::string command, path, text;
  double days = 0;
  words >> seq >> command;
  if (command == "own" && (words >> path >> days >> text)) {
    if (TTag* tag = FindPath(manager, path)) {
      VARIANT value = TextToVariant(Utf8ToUtf16(text).value_or(u""), DataTypeTable::Lookup(tag->DataType()).varType);
      tag->SetValue(FromVariant(value));
      VariantClear(&value);
      tag->SetTimeStamp(days);
    } else {
      Record("no tag " + path);
    }
  } else {
    Record("unknown command " + line);
  }
  Record("done " + std::to_string(seq));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 1;
  events = std::fopen(argv[1], "w");
  if (!events) return 1;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  TTagManager manager;
  try {
    LoadConfigFile(argv[3], manager, WindowsAnsiCodePage());
  } catch (const EModelError& e) {
    Record("load error " + Utf16ToUtf8Lossy(e.Message()));
    return 2;
  }
  RecordingWindow window;
  TToolkitBinding binding(manager, window);
  binding.Start();

  const std::string prefix = argv[2];
  const std::string commandFile = std::string(argv[1]) + ".cmd";
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, (prefix + ".ready").c_str());
  HANDLE quit = CreateEventA(nullptr, TRUE, FALSE, (prefix + ".quit").c_str());
  HANDLE command = CreateEventA(nullptr, FALSE, FALSE, (prefix + ".command").c_str());
  Record("ready");
  SetEvent(ready);

  // A host whose test died must not linger.
  const ULONGLONG deadline = GetTickCount64() + 120000;
  while (GetTickCount64() < deadline) {
    HANDLE wanted[2] = {quit, command};
    DWORD r = MsgWaitForMultipleObjects(2, wanted, FALSE, 200, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) break;
    if (r == WAIT_OBJECT_0 + 1) RunCommand(manager, commandFile);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  binding.End();
  Record("ended");
  std::fclose(events);
  CoUninitialize();
  return 0;
}
