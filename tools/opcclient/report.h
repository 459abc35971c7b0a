#pragma once
// Error messages on stderr: what was attempted, the HRESULT in hex and the
// text the server gives for it (IOPCCommon::GetErrorString, then
// IOPCServer::GetErrorString), or the system's text when the server has none.
#include <windows.h>

#include <string>

#include "com_ptr.h"
#include "exit_codes.h"

namespace opcclient {

// Thrown once the failure has been reported; main turns it into the exit code.
struct Failure {
  ExitCode code;
};

class Reporter {
 public:
  // The server that explains its codes; none before the connection.
  void SetServer(const quillon::ComPtr<IUnknown>& server) { server_ = server; }

  std::string Describe(HRESULT hr) const;
  // "opcclient: WHAT: 0xXXXXXXXX TEXT" on stderr.
  void Error(const std::string& what, HRESULT hr) const;
  void Error(const std::string& what) const;
  // A failed item or property: reported, remembered for the exit code.
  void ItemError(const std::string& what, HRESULT hr);
  // The same for a failure of this program, which the server cannot explain.
  void LocalItemError(const std::string& what, HRESULT hr);
  // Reports a failed call and throws Failure(code).
  void Check(HRESULT hr, const std::string& what, ExitCode code = kCallFailed) const;
  ExitCode Result() const { return itemFailed_ ? kItemFailed : kOk; }

 private:
  quillon::ComPtr<IUnknown> server_;
  bool itemFailed_ = false;
};

// The system's message for a code, without the trailing line break, or the
// code's name where the system has no message (Wine lacks many).
std::string SystemText(HRESULT hr);

}  // namespace opcclient
