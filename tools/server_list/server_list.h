#pragma once
// The server list object: the OPC servers registered in the categories a
// client asks for, their names, and the class of a ProgID. One object serves
// both versions of the interface.
#include <objbase.h>

#include "com_ptr.h"
#include "logging.h"

namespace serverlist {

quillon::ComPtr<IUnknown> MakeServerList(const quillon::LogSink& log);

}  // namespace serverlist
