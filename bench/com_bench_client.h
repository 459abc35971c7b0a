#pragma once
// The client side of the COM benchmarks that drive com_bench_host.exe: the
// host process and its shared block, a private group, item definitions, a
// data sink that counts and times what arrives, and the timing helpers.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "com_bench.h"
#include "com_object.h"
#include "com_ptr.h"
#include "opc_da.h"
#include "task_mem.h"
#include "unique_handle.h"

namespace bench {

using quillon::ComPtr;
using quillon::TaskMem;
using quillon::UniqueHandle;

inline constexpr DWORD kCommandMs = 60'000;
inline constexpr OPCHANDLE kStampHandle = 0x80000000;

// The host a watchdog ends with the run.
inline HANDLE watchedHost = nullptr;

[[noreturn]] inline void Fail(const std::string& what) { throw std::runtime_error(what); }

inline void Check(HRESULT hr, const char* what) {
  if (hr != S_OK) {
    char text[160];
    std::snprintf(text, sizeof text, "%s failed: 0x%08lX", what, static_cast<unsigned long>(hr));
    Fail(text);
  }
}

inline double Seconds(LONGLONG counts) {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(f.QuadPart);
  }();
  return double(counts) / frequency;
}

inline LONGLONG Counter() {
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return c.QuadPart;
}

inline double Fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The value below which the given fraction of the sorted samples lie.
inline double Percentile(const std::vector<double>& sorted, double fraction) {
  size_t i = size_t(fraction * double(sorted.size() - 1) + 0.5);
  return sorted[std::min(i, sorted.size() - 1)];
}

// Item definitions with the strings they point into.
class ItemDefs {
 public:
  void Add(std::wstring id, OPCHANDLE client) {
    ids_.push_back(std::move(id));
    clients_.push_back(client);
  }
  // The definitions of entries [first, first + count), valid while this lives.
  std::vector<OPCITEMDEF> Slice(size_t first, size_t count) {
    std::vector<OPCITEMDEF> defs(count);
    for (size_t i = 0; i < count; ++i) {
      OPCITEMDEF& d = defs[i];
      d.szAccessPath = emptyPath_;
      d.szItemID = ids_[first + i].data();
      d.bActive = TRUE;
      d.hClient = clients_[first + i];
      d.dwBlobSize = 0;
      d.pBlob = nullptr;
      d.vtRequestedDataType = VT_EMPTY;
      d.wReserved = 0;
    }
    return defs;
  }
  size_t Size() const { return ids_.size(); }

  static ItemDefs OfBranch(Branch b) {
    ItemDefs defs;
    for (LONG i = 0; i < kBranchSize[b]; ++i) defs.Add(ItemId(b, i), OPCHANDLE(i));
    return defs;
  }

 private:
  std::vector<std::wstring> ids_;
  std::vector<OPCHANDLE> clients_;
  wchar_t emptyPath_[1] = {L'\0'};
};

// The client's data callback: counts what arrives and, for the latency run,
// takes the delay of every L.Stamp value from the moment the host pushed it.
class DataSink final : public quillon::ComObject<IOPCDataCallback> {
 public:
  STDMETHODIMP OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD count, OPCHANDLE* handles, VARIANT* values,
                            WORD*, FILETIME*, HRESULT*) override {
    const LONGLONG arrived = Counter();
    if (count == 0) return S_OK;  // keep-alive
    ++callbacks;
    items += count;
    perCallback.push_back(count);
    for (DWORD i = 0; i < count; ++i)
      if (handles[i] == kStampHandle && V_VT(&values[i]) == VT_R8)
        delays.push_back(Seconds(arrived - LONGLONG(V_R8(&values[i]))));
    return S_OK;
  }
  STDMETHODIMP OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*, VARIANT*, WORD*, FILETIME*,
                              HRESULT*) override {
    return S_OK;
  }
  STDMETHODIMP OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE*, HRESULT*) override { return S_OK; }
  STDMETHODIMP OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }

  void Reset() {
    callbacks = 0;
    items = 0;
    perCallback.clear();
    delays.clear();
  }

  size_t callbacks = 0;
  size_t items = 0;
  std::vector<double> perCallback;
  std::vector<double> delays;  // seconds

 private:
  ~DataSink() override = default;
};

// The host process and the shared block that drives it.
class Host {
 public:
  Host() {
    const DWORD pid = GetCurrentProcessId();
    mapping_ = UniqueHandle(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(SharedBlock),
                                               ObjectName(pid, "block").c_str()));
    command_ = UniqueHandle(CreateEventA(nullptr, FALSE, FALSE, ObjectName(pid, "command").c_str()));
    done_ = UniqueHandle(CreateEventA(nullptr, FALSE, FALSE, ObjectName(pid, "done").c_str()));
    ready_ = UniqueHandle(CreateEventA(nullptr, TRUE, FALSE, ObjectName(pid, "ready").c_str()));
    if (!mapping_ || !command_ || !done_ || !ready_) Fail("cannot create the shared block and events");
    view_.emplace(mapping_.Get());
    if (!*view_) Fail("cannot map the shared block");
    if (FAILED(CoCreateGuid(&(*view_)->serverClass)) || FAILED(CoCreateGuid(&(*view_)->baselineClass)))
      Fail("cannot make the run's class IDs");

    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, n);
    dir.resize(dir.find_last_of('\\') + 1);
    std::string cmd = "\"" + dir + "com_bench_host.exe\" " + std::to_string(pid);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi))
      Fail("cannot start com_bench_host.exe");
    process_ = UniqueHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    watchedHost = process_.Get();
    HANDLE both[2] = {ready_.Get(), process_.Get()};
    if (WaitForMultipleObjects(2, both, FALSE, kCommandMs) != WAIT_OBJECT_0) {
      TerminateProcess(process_.Get(), 9);
      Fail("the host did not get ready (registering 110,000 tags, the server and the reference class)");
    }
  }
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;
  ~Host() {
    (*view_)->command = Command::kQuit;
    SetEvent(command_.Get());
    if (WaitForSingleObject(process_.Get(), 20'000) != WAIT_OBJECT_0) TerminateProcess(process_.Get(), 9);
    watchedHost = nullptr;
  }

  // Dispatches this apartment's messages (callbacks arrive as messages) until
  // Event is set, Done() holds, or Ms pass; false on the time running out.
  template <class Done>
  bool Pump(HANDLE event, DWORD ms, Done done) {
    const ULONGLONG end = GetTickCount64() + ms;
    HANDLE wanted[2] = {process_.Get(), event};
    for (;;) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      if (done()) return true;
      ULONGLONG now = GetTickCount64();
      if (now >= end) return false;
      DWORD r = MsgWaitForMultipleObjectsEx(event ? 2 : 1, wanted, DWORD(end - now), QS_ALLINPUT,
                                            MWMO_INPUTAVAILABLE);
      if (r == WAIT_OBJECT_0) Fail("the host process ended");
      if (r == WAIT_OBJECT_0 + 1) return true;
    }
  }
  void PumpFor(DWORD ms) {
    Pump(nullptr, ms, [] { return false; });
  }

  const CLSID& ServerClass() const { return (*view_)->serverClass; }
  const CLSID& BaselineClass() const { return (*view_)->baselineClass; }

  SharedBlock Snapshot() { return Run(Command::kSnapshot); }

  SharedBlock Push(Branch branch, LONG changes, LONG warmup, LONG ticks, LONG periodMs, bool stamp) {
    SharedBlock& b = *view_->Get();
    b.branch = branch;
    b.changes = changes;
    b.warmupTicks = warmup;
    b.ticks = ticks;
    b.periodMs = periodMs;
    b.stamp = stamp;
    return Run(Command::kPush);
  }

 private:
  SharedBlock Run(Command c) {
    SharedBlock& b = *view_->Get();
    b.command = c;
    b.ok = FALSE;
    SetEvent(command_.Get());
    if (!Pump(done_.Get(), kCommandMs, [] { return false; })) Fail("the host did not answer a command");
    if (!b.ok) Fail("the host could not carry out a command");
    return b;
  }

  UniqueHandle mapping_, command_, done_, ready_, process_;
  std::optional<BlockView> view_;
};

// One private group of the Quillon server, removed as a client removes it.
class Group {
 public:
  Group(IOPCServer* server, const wchar_t* name, bool active, DWORD rate) : server_(server) {
    DWORD revised = 0;
    Check(server->AddGroup(name, active, rate, 1, nullptr, nullptr, 0, &handle_, &revised, IID_IOPCItemMgt,
                           reinterpret_cast<IUnknown**>(items_.Put())),
          "AddGroup");
  }
  Group(const Group&) = delete;
  Group& operator=(const Group&) = delete;
  ~Group() {
    if (point_) point_->Unadvise(cookie_);
    point_.Reset();
    items_.Reset();
    server_->RemoveGroup(handle_, FALSE);
  }

  IOPCItemMgt* Items() const { return items_.Get(); }

  // Adds the definitions in calls of at most Chunk; the server handles in order.
  std::vector<OPCHANDLE> Add(ItemDefs& defs, size_t chunk) {
    std::vector<OPCHANDLE> handles;
    handles.reserve(defs.Size());
    for (size_t first = 0; first < defs.Size(); first += chunk) {
      size_t n = std::min(chunk, defs.Size() - first);
      std::vector<OPCITEMDEF> slice = defs.Slice(first, n);
      TaskMem<OPCITEMRESULT> results;
      TaskMem<HRESULT> errors;
      HRESULT hr = items_->AddItems(DWORD(n), slice.data(), results.Put(n), errors.Put(n));
      Check(hr, "AddItems");
      for (size_t i = 0; i < n; ++i) {
        Check(errors[i], "AddItems (an item)");
        handles.push_back(results[i].hServer);
      }
    }
    return handles;
  }

  void SetActive(bool active) {
    ComPtr<IOPCGroupStateMgt> state;
    Check(items_.As(state), "QueryInterface(IOPCGroupStateMgt)");
    BOOL a = active;
    DWORD revised = 0;
    Check(state->SetState(nullptr, &revised, &a, nullptr, nullptr, nullptr, nullptr), "SetState");
  }

  void Advise(DataSink* sink) {
    ComPtr<IConnectionPointContainer> container;
    Check(items_.As(container), "QueryInterface(IConnectionPointContainer)");
    Check(container->FindConnectionPoint(IID_IOPCDataCallback, point_.Put()), "FindConnectionPoint");
    Check(point_->Advise(static_cast<IOPCDataCallback*>(sink), &cookie_), "Advise");
  }

 private:
  IOPCServer* server_;
  OPCHANDLE handle_ = 0;
  ComPtr<IOPCItemMgt> items_;
  ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};


// The host started, and this client connected to its server and to the
// reference object.
struct Session {
  Session() {
    Check(CoCreateInstance(host.ServerClass(), nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer, server.PutVoid()),
          "CoCreateInstance(Quillon)");
    Check(CoCreateInstance(host.BaselineClass(), nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCItemMgt, baseline.PutVoid()),
          "CoCreateInstance(reference)");
  }
  Host host;
  ComPtr<IOPCServer> server;
  ComPtr<IOPCItemMgt> baseline;
};

}  // namespace bench
