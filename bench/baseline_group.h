#pragma once
// The benchmark's reference: an object that answers IOPCItemMgt::AddItems and
// IOPCSyncIO::Read with out-arrays of the size and content Quillon's group
// returns (VT_R8 items, good quality), allocated with the task allocator and
// filled, and does nothing else. Served from the host's apartment beside
// Quillon, it costs what COM itself costs for those calls, so the ratio of
// Quillon's time to its time is what the server adds on top of COM.
#include <objbase.h>

namespace bench {

// Registers the reference class under Clsid for local-server activation in
// the calling thread's apartment; CoRevokeClassObject(*cookie) withdraws it.
HRESULT RegisterBaselineClass(const CLSID& clsid, DWORD* cookie);

}  // namespace bench
