#pragma once
// The class lists the service hands out: IEnumGUID to IOPCServerList clients,
// its twin IOPCEnumGUID to IOPCServerList2 clients. Both keep the service
// running until their last clone goes.
#include <objbase.h>
#include <comcat.h>

#include <vector>

#include "com_ptr.h"
#include "logging.h"
#include "opc_server_list.h"

namespace serverlist {

quillon::ComPtr<IEnumGUID> MakeEnumGuid(const quillon::LogSink& log, std::vector<GUID> guids);
quillon::ComPtr<IOPCEnumGUID> MakeOpcEnumGuid(const quillon::LogSink& log, std::vector<GUID> guids);

}  // namespace serverlist
