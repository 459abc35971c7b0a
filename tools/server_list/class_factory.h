#pragma once
// The class object of the server list: every CreateInstance makes a new list
// object; LockServer holds the process like an object does.
#include <objbase.h>

#include "com_ptr.h"
#include "logging.h"

namespace serverlist {

quillon::ComPtr<IClassFactory> MakeServerListFactory(const quillon::LogSink& log);

}  // namespace serverlist
