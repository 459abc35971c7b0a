#pragma once
// Whether a failed call on a client's sink means the client is gone: its
// process died, was killed or its connection broke, so no later call can
// reach it. Busy or refusing clients (RPC_E_CALL_REJECTED,
// RPC_E_SERVERCALL_RETRYLATER), calls this apartment may not make now
// (RPC_E_CANTCALLOUT_*) and any failure the client's own code returns are not
// in the list: such a client is alive and keeps its connection.
#include <windows.h>

namespace quillon {

constexpr HRESULT kClientGoneCodes[] = {
    HRESULT(0x800706BA),  // RPC_S_SERVER_UNAVAILABLE: the client's endpoint is gone
    HRESULT(0x800706BE),  // RPC_S_CALL_FAILED
    HRESULT(0x800706BF),  // RPC_S_CALL_FAILED_DNE
    HRESULT(0x8007071C),  // RPC_S_COMM_FAILURE
    HRESULT(0x8007006D),  // ERROR_BROKEN_PIPE: the transport under the call broke
    HRESULT(0x80010006),  // RPC_E_CONNECTION_TERMINATED
    HRESULT(0x80010007),  // RPC_E_SERVER_DIED
    HRESULT(0x80010012),  // RPC_E_SERVER_DIED_DNE
    HRESULT(0x80010108),  // RPC_E_DISCONNECTED: the sink's stub was disconnected
    HRESULT(0x80010114),  // RPC_E_INVALID_OBJECT: the client's apartment no longer knows the sink
    HRESULT(0x800401FD),  // CO_E_OBJNOTCONNECTED
};

constexpr bool ClientGone(HRESULT hr) {
  for (HRESULT code : kClientGoneCodes)
    if (hr == code) return true;
  return false;
}

}  // namespace quillon
