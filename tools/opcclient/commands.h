#pragma once
// The commands that talk to a connected server. Each prints its records on
// stdout and answers kOk or kItemFailed; a call that fails as a whole is
// reported and thrown as Failure.
#include "com_ptr.h"
#include "opc_da.h"
#include "opc_error.h"
#include "options.h"
#include "report.h"

namespace opcclient {

using quillon::ComPtr;

int ShowStatus(const ComPtr<IOPCServer>& server, Reporter& report);
int BrowseAddressSpace(const ComPtr<IOPCServer>& server, const Options& options, Reporter& report);
int BrowseElements(const ComPtr<IOPCServer>& server, const Options& options, Reporter& report);
int ReadThroughGroup(const ComPtr<IOPCServer>& server, const Options& options, Reporter& report);
int ReadByItemId(const ComPtr<IOPCServer>& server, const Options& options, Reporter& report);
int WriteThroughGroup(const ComPtr<IOPCServer>& server, const Options& options, Reporter& report);
int WriteByItemId(const ComPtr<IOPCServer>& server, const Options& options, Reporter& report);
int ShowProperties(const ComPtr<IOPCServer>& server, const Options& options, Reporter& report);
int Subscribe(const ComPtr<IOPCServer>& server, const Options& options, Reporter& report);

// The exit code of a call about one item that failed as a whole: the item's
// fault when the server does not know it.
inline ExitCode ItemCallCode(HRESULT hr) {
  return hr == OPC_E_UNKNOWNITEMID || hr == OPC_E_INVALIDITEMID ? kItemFailed : kCallFailed;
}

// The server's interface I, or a reported failure.
template <class I>
ComPtr<I> Require(const ComPtr<IOPCServer>& server, const char* name, const Reporter& report) {
  ComPtr<I> i = server.Query<I>();
  if (!i) {
    report.Error(std::string("the server has no ") + name + " interface");
    throw Failure{kCallFailed};
  }
  return i;
}

}  // namespace opcclient
