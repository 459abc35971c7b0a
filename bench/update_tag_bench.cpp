// UpdateTag throughput, through Quillon.dll's export as a host calls it, beside
// the bare work every update must do: convert the pushed VARIANT to the tag's
// type and store it in place of the old value. Prints rates and their ratio.
#include <windows.h>

#include <cstdio>
#include <string>

#include "quillon_dll.h"

namespace {

constexpr int kUpdates = 1'000'000;

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}

template <class Body>
double Rate(Body body) {
  LARGE_INTEGER a, b;
  QueryPerformanceCounter(&a);
  for (int i = 0; i < kUpdates; ++i) body(i);
  QueryPerformanceCounter(&b);
  return kUpdates / Seconds(a, b);
}

// The bare conversion and store, with no toolkit around it.
double BareRate(VARTYPE vt, VARIANT (*make)(int)) {
  VARIANT store;
  VariantInit(&store);
  double rate = Rate([&](int i) {
    VARIANT v = make(i);
    VARIANT converted;
    VariantInit(&converted);
    VariantChangeType(&converted, &v, 0, vt);
    VariantClear(&store);
    store = converted;
  });
  VariantClear(&store);
  return rate;
}

VARIANT Double(int i) {
  VARIANT v;
  V_VT(&v) = VT_R8;
  V_R8(&v) = i * 0.5;
  return v;
}

BSTR sharedText = nullptr;
VARIANT Text(int) {
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = sharedText;  // the host's own string: the toolkit copies it
  return v;
}

}  // namespace

int main() {
  QuillonDll q;
  if (!q.module || !q.CreateServer("{5A0C4E2B-7D19-4B6E-9F31-C2A8E4D6B710}", 100)) {
    std::puts("cannot create the server");
    return 1;
  }
  sharedText = SysAllocString(L"Pump 12 running at nominal speed");
  TagHandle r8 = q.RegTagEx(nullptr, "R8", VT_R8, 3);
  TagHandle text = q.RegTagEx(nullptr, "Text", VT_BSTR, 3);

  struct Case {
    const char* name;
    VARTYPE vt;
    TagHandle tag;
    VARIANT (*make)(int);
  } cases[] = {{"VT_R8", VT_R8, r8, Double}, {"VT_BSTR", VT_BSTR, text, Text}};

  std::printf("%-8s %16s %16s %8s\n", "tag", "UpdateTag/s", "bare/s", "ratio");
  for (const Case& c : cases) {
    BareRate(c.vt, c.make);  // warm-up
    double bare = BareRate(c.vt, c.make);
    double update = Rate([&](int i) { q.UpdateTag(c.tag, c.make(i), 0xC0); });
    std::printf("%-8s %16.0f %16.0f %8.2f\n", c.name, update, bare, bare / update);
  }
  SysFreeString(sharedText);
  q.FreeServer();
  return 0;
}
