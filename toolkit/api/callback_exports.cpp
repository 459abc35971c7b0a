// Exports that install the host's callbacks and the log option.
#include "exports_state.h"
#include "guard.h"

using namespace quillon;

namespace {

template <class Proc>
BOOL Store(const wchar_t* operation, Proc HostCallbacks::*slot, Proc proc) {
  HostPort& host = Exports().host;
  return ExportGuard(host, operation, [&]() -> BOOL {
    host.Callbacks.*slot = proc;
    return kTrue;
  });
}

}  // namespace

extern "C" {

QUILLON_API BOOL __stdcall SetServerNotify(ServerNotifyProc p) { return Store(L"SetServerNotify", &HostCallbacks::serverNotify, p); }
QUILLON_API BOOL __stdcall SetGroupNotify(GroupNotifyProc p) { return Store(L"SetGroupNotify", &HostCallbacks::groupNotify, p); }
QUILLON_API BOOL __stdcall SetItemNotify(ItemNotifyProc p) { return Store(L"SetItemNotify", &HostCallbacks::itemNotify, p); }
QUILLON_API BOOL __stdcall SetTagNotify(TagNotifyProc p) { return Store(L"SetTagNotify", &HostCallbacks::tagNotify, p); }
QUILLON_API BOOL __stdcall SetReadCallback(ReadCallbackProc p) { return Store(L"SetReadCallback", &HostCallbacks::read, p); }
QUILLON_API BOOL __stdcall SetWriteCallback(WriteCallbackProc p) { return Store(L"SetWriteCallback", &HostCallbacks::write, p); }
QUILLON_API BOOL __stdcall SetFilterCallback(FilterCallbackProc p) { return Store(L"SetFilterCallback", &HostCallbacks::filter, p); }
QUILLON_API BOOL __stdcall SetReadCallbackEx(void* p) { return Store(L"SetReadCallbackEx", &HostCallbacks::readEx, p); }
QUILLON_API BOOL __stdcall SetWriteCallbackEx(void* p) { return Store(L"SetWriteCallbackEx", &HostCallbacks::writeEx, p); }

// Nil is refused: the log must always have somewhere to go once installed.
QUILLON_API BOOL __stdcall SetLogNotify(LogNotifyProc p) {
  if (!p) return 0;
  return Store(L"SetLogNotify", &HostCallbacks::log, p);
}

QUILLON_API void __stdcall SetLogOption(WORD option) { Exports().host.LogOption = option; }

}  // extern "C"
