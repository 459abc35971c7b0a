#pragma once
// Finding servers: the classes registered in the OPC DA categories, a ProgID
// or class ID turned into a class, and the connection to it.
#include <windows.h>

#include <string>

#include "com_ptr.h"
#include "opc_da.h"
#include "report.h"

namespace opcclient {

// Prints CLSID, ProgID, description and DA versions of every registered
// server, as the registry's component categories tell, or as the OPC server
// list service does.
int ListServers(bool throughServerList, Reporter& report);

// CoCreateInstance of the server named by ProgID or {CLSID}, out of process.
// Reports and throws Failure(kCannotConnect) when that is impossible.
quillon::ComPtr<IOPCServer> ConnectServer(const std::wstring& name, Reporter& report);

std::string GuidText(const GUID& guid);

}  // namespace opcclient
