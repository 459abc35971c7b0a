// Keeps Wine's desktop process alive for a run of the end-to-end tests.
//
// The first Wine process of a prefix that needs the desktop starts
// explorer.exe, which inherits that process's standard error and lives as long
// as any process uses the desktop. Started from a test, it holds that test's
// output pipe while the tests running in parallel keep the desktop in use, and
// ctest waits for the pipe until the test times out. Started by this program,
// whose output goes nowhere, it holds nothing of the tests.
//   e2e_desktop_keeper.exe          holds the desktop until told to stop
//                                   (15 minutes at most)
//   e2e_desktop_keeper.exe --ready  waits until a keeper holds the desktop
//                                   (20 s at most)
//   e2e_desktop_keeper.exe --stop   tells the keeper to stop
#include <windows.h>

#include <cstring>

namespace {

constexpr char kReady[] = "QuillonE2E.desktop.ready";
constexpr char kStop[] = "QuillonE2E.desktop.stop";

}  // namespace

int main(int argc, char** argv) {
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, kReady);
  HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, kStop);
  if (argc == 2 && std::strcmp(argv[1], "--ready") == 0)
    return WaitForSingleObject(ready, 20000) == WAIT_OBJECT_0 ? 0 : 1;
  if (argc == 2 && std::strcmp(argv[1], "--stop") == 0) {
    SetEvent(stop);
    return 0;
  }
  if (argc != 1) return 2;

  ResetEvent(stop);
  // Makes this process a user of the desktop, starting the desktop process.
  GetDesktopWindow();
  SetEvent(ready);
  WaitForSingleObject(stop, 15 * 60 * 1000);
  return 0;
}
