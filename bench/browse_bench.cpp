// Browsing a large address space through real out-of-process COM. Starts
// browse_bench_host.exe (browse_bench.h: one branch of 100,000 leaves and a
// chain of 50 levels), connects to its server and prints, as the median and
// the fastest of several runs:
//   1. BrowseOPCItemIDs of the 100,000 leaves: the call, the time to the
//      first batch of 1,000 names through IEnumString::Next, and the whole
//      enumeration in batches of 1,000;
//      the same for a flat browse of the whole tree (every item ID);
//   2. IOPCBrowse::Browse of the 100,000 leaves with at most 1,000 elements
//      per call: the first page, and every page through the continuation
//      points, against the whole listing of 1;
//   3. ChangeBrowsePosition down the 50 levels one call each, GetItemID at
//      the bottom, and OPC_BROWSE_TO straight to the bottom;
//   4. IOPCBrowse::Browse of the branch at depth 50.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "apartment.h"
#include "browse_bench.h"
#include "com_ptr.h"
#include "opc_da.h"
#include "task_mem.h"
#include "unique_handle.h"

namespace {

using quillon::ComPtr;
using quillon::TaskMem;
using quillon::TaskString;
using quillon::UniqueHandle;
using namespace bench::browse;

constexpr DWORD kWatchdogMs = 480'000;
constexpr DWORD kReadyMs = 180'000;
constexpr DWORD kBatch = 1000;
constexpr int kLargeRepeats = 5;   // runs over the 100,000 leaves, after one warm-up
constexpr int kSmallRepeats = 25;  // runs of the chain measurements

HANDLE watchedHost = nullptr;

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

void Check(HRESULT hr, const char* what) {
  if (FAILED(hr)) {
    char text[160];
    std::snprintf(text, sizeof text, "%s failed: 0x%08lX", what, static_cast<unsigned long>(hr));
    Fail(text);
  }
}

double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(f.QuadPart);
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return double(c.QuadPart) / frequency;
}

struct Samples {
  std::vector<double> seconds;
  double Median() const {
    std::vector<double> v = seconds;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  }
  double Fastest() const { return *std::min_element(seconds.begin(), seconds.end()); }
};

void Print(const char* what, const Samples& s) {
  std::printf("  %-62s %10.2f ms  (fastest %.2f ms)\n", what, s.Median() * 1e3, s.Fastest() * 1e3);
}

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

DWORD WINAPI Watchdog(void*) {
  Sleep(kWatchdogMs);
  std::fputs("browse_bench: did not finish in time\n", stderr);
  if (watchedHost) TerminateProcess(watchedHost, 9);
  ExitProcess(3);
}

class Host {
 public:
  Host() {
    const DWORD pid = GetCurrentProcessId();
    ready_ = UniqueHandle(CreateEventA(nullptr, TRUE, FALSE, ReadyEventName(pid).c_str()));
    if (!ready_ || FAILED(CoCreateGuid(&clsid_))) Fail("cannot create the run's event and class ID");
    wchar_t text[40];
    StringFromGUID2(clsid_, text, 40);
    std::string classId(text, text + 38);
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, n);
    dir.resize(dir.find_last_of('\\') + 1);
    std::string cmd = "\"" + dir + "browse_bench_host.exe\" " + classId + " " + std::to_string(pid);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi))
      Fail("cannot start browse_bench_host.exe");
    process_ = UniqueHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    watchedHost = process_.Get();
    const double start = Now();
    HANDLE both[2] = {ready_.Get(), process_.Get()};
    if (WaitForMultipleObjects(2, both, FALSE, kReadyMs) != WAIT_OBJECT_0) {
      TerminateProcess(process_.Get(), 9);
      Fail("the host did not get ready");
    }
    std::printf("  host ready (100,050 tags registered) after %.1f s\n", Now() - start);
  }
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;
  // The host ends with this process.
  ~Host() { watchedHost = nullptr; }
  const CLSID& Class() const { return clsid_; }

 private:
  UniqueHandle ready_, process_;
  CLSID clsid_{};
};

// Every name of the enumerator in batches; answers the count, and the time
// of the first batch through FirstBatch.
size_t Enumerate(IEnumString* names, double start, double* firstBatch) {
  size_t total = 0;
  for (bool first = true;; first = false) {
    TaskMem<LPOLESTR> batch(kBatch);  // zero-filled: the names not fetched stay null
    ULONG fetched = 0;
    HRESULT hr = names->Next(kBatch, batch.Get(), &fetched);
    if (first) *firstBatch = Now() - start;
    total += fetched;
    if (hr != S_OK || fetched < kBatch) return total;
  }
}

// One Browse call; answers the element count and keeps the continuation point.
DWORD BrowseOnce(IOPCBrowse* browse, const std::wstring& itemId, TaskString& point, DWORD max) {
  std::wstring id = itemId, none;
  DWORD noIds = 0, count = 0;
  BOOL more = FALSE;
  TaskMem<OPCBROWSEELEMENT> elements;
  HRESULT hr = browse->Browse(id.data(), point.InOut(), max, OPC_BROWSE_FILTER_ALL, none.data(), none.data(), FALSE,
                              FALSE, 0, &noIds, &more, &count, elements.Put());
  elements.SetCount(count);
  Check(hr, "IOPCBrowse::Browse");
  return count;
}

void Expect(size_t got, size_t wanted, const char* what) {
  if (got != wanted) Fail(std::string(what) + ": " + std::to_string(got) + " elements, " + std::to_string(wanted) +
                          " expected");
}

// Answers the whole listing, the baseline of the paging below.
Samples MeasureWideDa2(IOPCBrowseServerAddressSpace* space) {
  Samples call, first, whole;
  for (int run = 0; run <= kLargeRepeats; ++run) {
    Check(space->ChangeBrowsePosition(OPC_BROWSE_TO, Wide(kWideBranch).c_str()), "ChangeBrowsePosition(Wide)");
    ComPtr<IEnumString> names;
    const double start = Now();
    Check(space->BrowseOPCItemIDs(OPC_LEAF, L"", VT_EMPTY, 0, names.Put()), "BrowseOPCItemIDs");
    const double called = Now() - start;
    double firstBatch = 0;
    const size_t count = Enumerate(names.Get(), start, &firstBatch);
    const double all = Now() - start;
    Expect(count, kWideCount, "BrowseOPCItemIDs(Wide)");
    if (run == 0) continue;  // warm-up
    call.seconds.push_back(called);
    first.seconds.push_back(firstBatch);
    whole.seconds.push_back(all);
  }
  Print("BrowseOPCItemIDs(OPC_LEAF) of 100,000: the call", call);
  Print("  ... to the first 1,000 names (call + IEnumString::Next)", first);
  Print("  ... all 100,000 names (100 x Next(1000))", whole);
  return whole;
}

// The whole address space as one flat list of item IDs, beside the leaf
// listing above: the server walks the tree and forms every ID.
void MeasureFlat(IOPCBrowseServerAddressSpace* space) {
  Samples call, whole;
  for (int run = 0; run <= kLargeRepeats; ++run) {
    Check(space->ChangeBrowsePosition(OPC_BROWSE_TO, L""), "ChangeBrowsePosition(root)");
    ComPtr<IEnumString> names;
    const double start = Now();
    Check(space->BrowseOPCItemIDs(OPC_FLAT, L"", VT_EMPTY, 0, names.Put()), "BrowseOPCItemIDs(OPC_FLAT)");
    const double called = Now() - start;
    double firstBatch = 0;
    const size_t count = Enumerate(names.Get(), start, &firstBatch);
    const double all = Now() - start;
    if (count < kWideCount) Expect(count, kWideCount, "BrowseOPCItemIDs(OPC_FLAT)");
    if (run == 0) continue;
    call.seconds.push_back(called);
    whole.seconds.push_back(all);
  }
  Print("BrowseOPCItemIDs(OPC_FLAT) of the whole tree: the call", call);
  Print("  ... every item ID (batches of 1,000)", whole);
}

Samples MeasureWideDa3(IOPCBrowse* browse) {
  Samples first, whole;
  for (int run = 0; run <= kLargeRepeats; ++run) {
    TaskString point;
    const double start = Now();
    size_t count = BrowseOnce(browse, Wide(kWideBranch), point, kBatch);
    const double firstPage = Now() - start;
    while (point && *point.Get()) count += BrowseOnce(browse, Wide(kWideBranch), point, kBatch);
    const double all = Now() - start;
    Expect(count, kWideCount, "Browse(Wide)");
    if (run == 0) continue;
    first.seconds.push_back(firstPage);
    whole.seconds.push_back(all);
  }
  Print("IOPCBrowse::Browse(Wide, max 1,000): the first page", first);
  Print("  ... all 100 pages through the continuation points", whole);
  return whole;
}

void MeasureChain(IOPCBrowseServerAddressSpace* space, IOPCBrowse* browse) {
  const std::wstring bottom = Wide(ChainItemId(kDepth));
  Samples down, itemId, jump, leaves, browseBottom;
  for (int run = 0; run <= kSmallRepeats; ++run) {
    Check(space->ChangeBrowsePosition(OPC_BROWSE_TO, L""), "ChangeBrowsePosition(root)");
    double start = Now();
    for (int d = 1; d <= kDepth; ++d)
      Check(space->ChangeBrowsePosition(OPC_BROWSE_DOWN, Wide(Level(d)).c_str()), "ChangeBrowsePosition(down)");
    const double wentDown = Now() - start;

    std::wstring value = L"Value";
    TaskString id;
    start = Now();
    HRESULT hr = space->GetItemID(value.data(), id.Put());
    const double gotId = Now() - start;
    Check(hr, "GetItemID");
    if (!id || bottom + L".Value" != id.Get()) Fail("GetItemID at depth 50 answered another item ID");

    start = Now();
    ComPtr<IEnumString> names;
    Check(space->BrowseOPCItemIDs(OPC_LEAF, L"", VT_EMPTY, 0, names.Put()), "BrowseOPCItemIDs(depth 50)");
    double ignored = 0;
    Expect(Enumerate(names.Get(), start, &ignored), 2, "BrowseOPCItemIDs(depth 50)");
    const double listed = Now() - start;

    Check(space->ChangeBrowsePosition(OPC_BROWSE_TO, L""), "ChangeBrowsePosition(root)");
    start = Now();
    Check(space->ChangeBrowsePosition(OPC_BROWSE_TO, bottom.c_str()), "ChangeBrowsePosition(to depth 50)");
    const double jumped = Now() - start;

    TaskString point;
    start = Now();
    const DWORD count = BrowseOnce(browse, bottom, point, 0);
    const double browsed = Now() - start;
    Expect(count, 2, "Browse(depth 50)");
    if (run == 0) continue;
    down.seconds.push_back(wentDown);
    itemId.seconds.push_back(gotId);
    leaves.seconds.push_back(listed);
    jump.seconds.push_back(jumped);
    browseBottom.seconds.push_back(browsed);
  }
  Print("ChangeBrowsePosition(OPC_BROWSE_DOWN) x 50, root to depth 50", down);
  Print("GetItemID at depth 50", itemId);
  Print("BrowseOPCItemIDs(OPC_LEAF) at depth 50 and its 2 names", leaves);
  Print("ChangeBrowsePosition(OPC_BROWSE_TO) straight to depth 50", jump);
  Print("IOPCBrowse::Browse of the branch at depth 50", browseBottom);
}

int Run() {
  std::printf("Browse through out-of-process COM: median of %d runs over the 100,000 leaves, of %d over the\n"
              "50-level chain, after one warm-up each\n",
              kLargeRepeats, kSmallRepeats);
  Host host;
  ComPtr<IOPCServer> server;
  Check(CoCreateInstance(host.Class(), nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer, server.PutVoid()),
        "CoCreateInstance");
  ComPtr<IOPCBrowseServerAddressSpace> space;
  ComPtr<IOPCBrowse> browse;
  Check(server.As(space), "QueryInterface(IOPCBrowseServerAddressSpace)");
  Check(server.As(browse), "QueryInterface(IOPCBrowse)");
  const Samples listing = MeasureWideDa2(space.Get());
  MeasureFlat(space.Get());
  const Samples pages = MeasureWideDa3(browse.Get());
  const double ratio = pages.Median() / listing.Median();
  std::printf("  all 100 pages / the whole BrowseOPCItemIDs listing: %.2f (target <= 3: %s; fastest runs %.2f)\n", ratio,
              ratio <= 3 ? "met" : "MISSED", pages.Fastest() / listing.Fastest());
  MeasureChain(space.Get(), browse.Get());
  return 0;
}

}  // namespace

int main() {
  CloseHandle(CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));
  quillon::Apartment apartment(COINIT_APARTMENTTHREADED);
  try {
    return Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "browse_bench: %s\n", e.what());
    return 1;
  }
}
