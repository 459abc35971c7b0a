// A host program for the end-to-end tests: loads Quillon.dll by name, creates
// the server for the class ID it is given, registers the tags of an optional
// tag file, records every host notification and log line in the events file,
// and pumps messages until told to quit.
//   e2e_host.exe CLASSID EVENTS_FILE EVENT_PREFIX [TAG_FILE]
//
// Tag file: one tag per line, "PATH VARTYPE RIGHTS [VALUE]", PATH with '.'
// between the names (missing branches are registered on the way, as VT_EMPTY
// and readable), VARTYPE and RIGHTS in decimal, VALUE the rest of the line,
// converted to VARTYPE (invariant locale) and registered with RegTag and
// quality good; without VALUE the tag is registered with RegTagEx. Blank lines
// and lines starting with '#' are skipped.
//
// Named events (EVENT_PREFIX + suffix):
//   .ready    set by the host once the server is created and the tags are in
//   .free     set by the test: FreeServer, once
//   .quit     set by the test: FreeServer unless done, then exit
//   .command  set by the test after writing "SEQ COMMAND ARGS" into
//             EVENTS_FILE.cmd; the host runs it and records "done SEQ".
// Commands: shutdown; free; state N (SetServerState); version VENDOR MAJ MIN
// BUILD (SetVensionInfo); tagnotify on|off (SetTagNotify); update PATH TEXT
// (UpdateTag with a VT_BSTR value and quality good); updateq PATH QUALITY TEXT
// (the same with a quality in hex); callbacks on|off (the read and write
// callbacks, installed at start); readresult HR / writeresult HR (in hex: what
// the callbacks answer, S_OK at start); register PROGID DESCRIPTION (RegServer
// for the host's class and this program; records "register RESULT");
// unregister PROGID (UnregServer; records "unregister RESULT"); writeback
// on|off (the write callback also pushes the written value with UpdateTag, as
// a host that accepts writes does; off at start); readvalue VARTYPE TEXT
// (the read callback answers TEXT converted to VARTYPE, in decimal, invariant
// locale, instead of the read count, as a device whose type differs from the
// tag's does; the command records "readvalue RESULT", 0 when TEXT does not
// convert) / readvalue off (back to the read count); churn PATH on|off (the
// host pushes a new VT_I4 value, counting up, to the tag every 50 ms, as a
// plant does); figures (records "figures HANDLES PRIVATE_KB WINDOWS" of
// this process, 0 where the platform answers none); modalpump on|off (a
// message filter that dispatches posted and timer messages while a call
// waits, as Windows' modal loop does) / modalpump depth (records "modalpump
// depth N calls M": the deepest nesting of such waits so far, and how often
// the filter was asked).
// The read callback records "read PATH" and, when its result succeeds,
// answers VT_I4 (the number of reads so far) or the readvalue, quality good
// and now; the write callback records "write PATH VARTYPE VALUE" and changes
// nothing.
//
// Lines of the events file:
//   ready | exit | done SEQ | free RESULT | update PATH RESULT
//   register RESULT | unregister RESULT | readvalue RESULT | figures HANDLES KB WINDOWS
//   modalpump depth N calls M
//   read PATH | write PATH VARTYPE VALUE
//   server SERVER ACTION
//   group SERVER NAME ACTION
//   item SERVER TAGPATH ACTION        (the tag's handle when it is no tag of ours)
//   tagnotify ITEMID [ACCESSPATH]     (IDs starting "Dyn." get a new VT_I4 tag,
//                                      read/write, under the branch Dyn)
//   log TEXT
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>

#include "bstr.h"
#include "process_figures.h"
#include "quillon_dll.h"
#include "variant.h"

namespace {

using quillon::Bstr;
using quillon::Variant;

FILE* events = nullptr;
QuillonDll* dll = nullptr;
std::string classId;
std::map<std::string, TagHandle> tagsByPath;
std::map<TagHandle, std::string> pathsByTag;

void Record(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  vfprintf(events, fmt, args);
  va_end(args);
  fputc('\n', events);
  fflush(events);
}

std::string Utf8(BSTR text) {
  if (!text) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text, int(SysStringLen(text)), nullptr, 0, nullptr, nullptr);
  std::string s(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, int(SysStringLen(text)), s.data(), n, nullptr, nullptr);
  return s;
}

std::string PathOf(TagHandle tag) {
  if (auto it = pathsByTag.find(tag); it != pathsByTag.end()) return it->second;
  char text[32];
  std::snprintf(text, sizeof text, "%p", tag);
  return text;
}

void Remember(const std::string& path, TagHandle tag) {
  tagsByPath[path] = tag;
  pathsByTag[tag] = path;
}

// The handle of the branch PATH, registering it and its parents when missing.
TagHandle Branch(const std::string& path) {
  if (path.empty()) return nullptr;
  if (auto it = tagsByPath.find(path); it != tagsByPath.end()) return it->second;
  size_t dot = path.rfind('.');
  TagHandle parent = dot == std::string::npos ? nullptr : Branch(path.substr(0, dot));
  std::string name = dot == std::string::npos ? path : path.substr(dot + 1);
  TagHandle tag = dll->RegTagEx(parent, name.c_str(), VT_EMPTY, 1);
  if (tag) Remember(path, tag);
  return tag;
}

// Text converted to Type (invariant locale) into Out, which must be empty.
bool Convert(const std::string& text, VARTYPE type, VARIANT& out) {
  std::wstring wide(text.begin(), text.end());
  Variant source;
  V_VT(&source) = VT_BSTR;
  V_BSTR(&source) = SysAllocString(wide.c_str());
  return SUCCEEDED(VariantChangeTypeEx(&out, &source, LOCALE_INVARIANT, 0, type));
}

TagHandle RegisterTag(const std::string& path, VARTYPE type, WORD rights, const std::string* value) {
  size_t dot = path.rfind('.');
  TagHandle parent = dot == std::string::npos ? nullptr : Branch(path.substr(0, dot));
  if (dot != std::string::npos && !parent) return nullptr;
  std::string name = dot == std::string::npos ? path : path.substr(dot + 1);
  TagHandle tag = nullptr;
  if (!value) {
    tag = dll->RegTagEx(parent, name.c_str(), type, rights);
  } else {
    Variant typed;
    if (Convert(*value, type, typed.Get())) tag = dll->RegTag(parent, name.c_str(), typed.Get(), 0xC0, rights);
  }
  if (tag) Remember(path, tag);
  return tag;
}

bool LoadTags(const char* file) {
  std::ifstream in(file);
  if (!in) return false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string path;
    unsigned type = 0, rights = 0;
    if (!(fields >> path >> type >> rights)) return false;
    std::string value;
    bool hasValue = bool(fields >> std::ws) && std::getline(fields, value);
    if (!RegisterTag(path, VARTYPE(type), WORD(rights), hasValue ? &value : nullptr)) {
      Record("tag failed %s", line.c_str());
      return false;
    }
  }
  return true;
}

void __stdcall OnServer(ServerHandle server, LONG action) { Record("server %p %ld", server, action); }

void __stdcall OnGroup(ServerHandle server, BSTR name, LONG action) {
  const Bstr owned = Bstr::Attach(name);
  Record("group %p %s %ld", server, Utf8(name).c_str(), action);
}

void __stdcall OnItem(ServerHandle server, TagHandle tag, LONG action) {
  Record("item %p %s %ld", server, PathOf(tag).c_str(), action);
}

void __stdcall OnTag(BSTR itemId, BSTR accessPath, TagHandle* tag) {
  const Bstr ownedId = Bstr::Attach(itemId), ownedPath = Bstr::Attach(accessPath);
  std::string id = Utf8(itemId);
  Record("tagnotify %s [%s]", id.c_str(), Utf8(accessPath).c_str());
  *tag = id.rfind("Dyn.", 0) == 0 ? RegisterTag(id, VT_I4, 3, nullptr) : nullptr;
}

void __stdcall OnLog(BSTR line) {
  const Bstr owned = Bstr::Attach(line);
  Record("log %s", Utf8(line).c_str());
}

// The host's device IO: every call is recorded; the tests choose the result.
HRESULT readResult = S_OK, writeResult = S_OK;
bool writeBack = false;
long readCount = 0;
Variant readValue;  // VT_EMPTY: answer the read count


void __stdcall OnRead(TagHandle tag, VARIANT* value, WORD* quality, FILETIME* timeStamp, HRESULT* result) {
  Record("read %s", PathOf(tag).c_str());
  if (SUCCEEDED(readResult)) {
    ++readCount;
    if (readValue.Type() != VT_EMPTY) {
      VariantCopy(value, &readValue);
    } else {
      // A value no push ever gave: the number of device reads so far.
      V_VT(value) = VT_I4;
      V_I4(value) = readCount;
    }
    *quality = 0xC0;
    GetSystemTimeAsFileTime(timeStamp);
  }
  *result = readResult;
}

void __stdcall OnWrite(TagHandle tag, VARIANT value, HRESULT* result) {
  Variant text;
  std::string shown = "?";
  if (SUCCEEDED(VariantChangeTypeEx(&text, &value, LOCALE_INVARIANT, 0, VT_BSTR))) shown = Utf8(V_BSTR(&text));
  Record("write %s %u %s", PathOf(tag).c_str(), unsigned(V_VT(&value)), shown.c_str());
  *result = writeResult;
  if (writeBack && SUCCEEDED(writeResult)) dll->UpdateTag(tag, value, 0xC0);
}

bool freed = false;

void Free() {
  if (freed) return;
  freed = true;
  Record("free %d", int(dll->FreeServer()));
}

// The tags the host keeps changing, each with the count it last pushed.
std::map<std::string, long> churning;
UINT_PTR churnTimer = 0;

void CALLBACK Churn(HWND, UINT, UINT_PTR, DWORD) {
  for (auto& [path, count] : churning) {
    auto it = tagsByPath.find(path);
    if (it == tagsByPath.end()) continue;
    VARIANT value;
    V_VT(&value) = VT_I4;
    V_I4(&value) = ++count;
    dll->UpdateTag(it->second, value, 0xC0);
  }
}

// A message filter that, while a call of this thread waits for its answer,
// dispatches the thread's posted and timer messages, as the modal loop of
// Windows' COM runtime does and Wine's does not. It keeps the deepest nesting
// of such waits it has seen: a call made from a message it dispatched waits
// inside it.
class ModalPump : public IMessageFilter {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = riid == IID_IUnknown || riid == IID_IMessageFilter ? static_cast<IMessageFilter*>(this) : nullptr;
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  // Static: it lives as long as the host.
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP_(DWORD) HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override { return SERVERCALL_ISHANDLED; }
  STDMETHODIMP_(DWORD) RetryRejectedCall(HTASK, DWORD, DWORD) override { return DWORD(-1); }
  STDMETHODIMP_(DWORD) MessagePending(HTASK, DWORD, DWORD) override {
    ++depth_;
    ++calls_;
    deepest_ = std::max(deepest_, depth_);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_QS_POSTMESSAGE | PM_REMOVE)) DispatchMessageW(&msg);
    --depth_;
    return PENDINGMSG_WAITDEFPROCESS;
  }
  int Deepest() const { return deepest_; }
  int Calls() const { return calls_; }

 private:
  int depth_ = 0, deepest_ = 0, calls_ = 0;
};

ModalPump modalPump;
HANDLE modalWaker = nullptr;

DWORD WINAPI WakeModalWaits(void* thread) {
  while (PostThreadMessageW(DWORD(uintptr_t(thread)), WM_NULL, 0, 0)) Sleep(10);
  return 0;
}

void RecordFigures() {
  const e2e::ProcessFigures f = e2e::MeasureProcess(GetCurrentProcessId());
  Record("figures %lu %lu %lu", f.handles, f.privateKb, f.windows);
}

void RunCommand(const std::string& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  std::istringstream words(line);
  unsigned long seq = 0;
  std::string command;
  words >> seq >> command;
  if (command == "shutdown") {
    dll->ShutDown();
  } else if (command == "free") {
    Free();
  } else if (command == "state") {
    long state = 0;
    words >> state;
    dll->SetServerState(state);
  } else if (command == "version") {
    std::string vendor;
    unsigned major = 0, minor = 0, build = 0;
    words >> vendor >> major >> minor >> build;
    dll->SetVensionInfo(vendor.c_str(), WORD(major), WORD(minor), WORD(build));
  } else if (command == "tagnotify") {
    std::string state;
    words >> state;
    dll->SetTagNotify(state == "on" ? OnTag : nullptr);
  } else if (command == "callbacks") {
    std::string state;
    words >> state;
    dll->SetReadCallback(state == "on" ? OnRead : nullptr);
    dll->SetWriteCallback(state == "on" ? OnWrite : nullptr);
  } else if (command == "readresult" || command == "writeresult") {
    unsigned long hr = 0;
    words >> std::hex >> hr;
    (command == "readresult" ? readResult : writeResult) = HRESULT(hr);
  } else if (command == "update" || command == "updateq") {
    std::string path, text;
    unsigned quality = 0xC0;
    words >> path;
    if (command == "updateq") words >> std::hex >> quality >> std::dec;
    words >> text;
    auto it = tagsByPath.find(path);
    std::wstring wide(text.begin(), text.end());
    Variant value;
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = SysAllocString(wide.c_str());
    BOOL result = it == tagsByPath.end() ? 0 : dll->UpdateTag(it->second, value.Get(), WORD(quality));
    Record("update %s %d", path.c_str(), int(result));
  } else if (command == "readvalue") {
    std::string type, text;
    words >> type >> std::ws;
    std::getline(words, text);
    readValue.Clear();
    unsigned vt = 0;
    bool converted = type == "off" || (std::istringstream(type) >> vt && Convert(text, VARTYPE(vt), readValue.Get()));
    Record("readvalue %d", converted ? 1 : 0);
  } else if (command == "writeback") {
    std::string state;
    words >> state;
    writeBack = state == "on";
  } else if (command == "register") {
    std::string progId, description;
    words >> progId >> std::ws;
    std::getline(words, description);
    char exe[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    auto regServer = dll->Load<decltype(&::RegServer)>("RegServer");
    BOOL result = regServer && n ? regServer(classId.c_str(), progId.c_str(), description.c_str(), exe) : 0;
    Record("register %d", result ? 1 : 0);
  } else if (command == "unregister") {
    std::string progId;
    words >> progId;
    auto unregServer = dll->Load<decltype(&::UnregServer)>("UnregServer");
    Record("unregister %d", unregServer && unregServer(classId.c_str(), progId.c_str()) ? 1 : 0);
  } else if (command == "churn") {
    std::string path, state;
    words >> path >> state;
    if (state == "on")
      churning.emplace(path, 0);
    else
      churning.erase(path);
    if (!churning.empty() && !churnTimer) churnTimer = SetTimer(nullptr, 0, 50, Churn);
    if (churning.empty() && churnTimer) KillTimer(nullptr, std::exchange(churnTimer, 0));
  } else if (command == "figures") {
    RecordFigures();
  } else if (command == "modalpump") {
    std::string what;
    words >> what;
    if (what == "on" && CoRegisterMessageFilter(&modalPump, nullptr) == S_OK && !modalWaker) {
      // Wine's wait wakes for posted messages, not for timers: a message
      // every 10 ms has it ask the filter that often.
      modalWaker = CreateThread(nullptr, 0, WakeModalWaits, reinterpret_cast<void*>(uintptr_t(GetCurrentThreadId())),
                                0, nullptr);
    }
    if (what == "off") CoRegisterMessageFilter(nullptr, nullptr);
    if (what == "depth") Record("modalpump depth %d calls %d", modalPump.Deepest(), modalPump.Calls());
  } else {
    Record("unknown command %s", line.c_str());
  }
  Record("done %lu", seq);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) return 1;
  events = std::fopen(argv[2], "w");
  if (!events) return 1;
  QuillonDll quillon;
  dll = &quillon;
  if (!quillon.module) {
    Record("cannot load Quillon.dll");
    return 2;
  }
  if (!quillon.CreateServer || !quillon.FreeServer || !quillon.ShutDown || !quillon.SetServerState ||
      !quillon.SetVensionInfo || !quillon.SetServerNotify || !quillon.SetGroupNotify || !quillon.SetItemNotify ||
      !quillon.SetTagNotify || !quillon.SetLogNotify || !quillon.RegTagEx || !quillon.RegTag ||
      !quillon.UpdateTag) {
    Record("missing export");
    return 2;
  }

  quillon.SetLogNotify(OnLog);
  classId = argv[1];
  if (!quillon.CreateServer(argv[1], 100)) {
    Record("CreateServer failed");
    return 3;
  }
  quillon.SetServerNotify(OnServer);
  quillon.SetGroupNotify(OnGroup);
  quillon.SetItemNotify(OnItem);
  quillon.SetTagNotify(OnTag);
  quillon.SetReadCallback(OnRead);
  quillon.SetWriteCallback(OnWrite);
  quillon.SetServerState(1);
  if (argc == 5 && !LoadTags(argv[4])) {
    Record("bad tag file");
    return 4;
  }

  std::string prefix = argv[3];
  std::string commandFile = std::string(argv[2]) + ".cmd";
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, (prefix + ".ready").c_str());
  HANDLE quit = CreateEventA(nullptr, TRUE, FALSE, (prefix + ".quit").c_str());
  HANDLE command = CreateEventA(nullptr, FALSE, FALSE, (prefix + ".command").c_str());
  HANDLE freeRequest = CreateEventA(nullptr, TRUE, FALSE, (prefix + ".free").c_str());
  SetEvent(ready);
  Record("ready");

  // A host whose test died must not linger: it ends two minutes after the
  // last command (long runs keep it with commands).
  DWORD deadline = GetTickCount() + 120000;
  while (GetTickCount() < deadline) {
    HANDLE wanted[3] = {quit, command, freeRequest};
    DWORD r = MsgWaitForMultipleObjects(freed ? 2 : 3, wanted, FALSE, 200, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) break;
    if (r == WAIT_OBJECT_0 + 1) {
      RunCommand(commandFile);
      deadline = GetTickCount() + 120000;
    }
    if (r == WAIT_OBJECT_0 + 2) Free();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  Free();
  Record("exit");
  std::fclose(events);
  return 0;
}
