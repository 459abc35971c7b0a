#pragma once
// The hidden window of a group: its timers and posted transaction messages
// arrive on the apartment thread and go to TGroup::DoWndProc.
#include <windows.h>

namespace quillon {

class TGroup;

enum : UINT_PTR { kUpdateTimer = 1, kKeepAliveTimer = 2 };
// Posted to execute the head of the read, write and refresh queues.
enum : UINT { kAsyncReadMessage = 3027, kAsyncWriteMessage = 3028, kAsyncRefreshMessage = 3029 };
// Posted once a sink's client is found gone: its server object is reclaimed
// outside the call that failed.
enum : UINT { kClientGoneMessage = 3030 };

// A message-only window (it needs no display) bound to Group.
HWND CreateGroupWindow(TGroup* group);

}  // namespace quillon
