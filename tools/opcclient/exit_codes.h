#pragma once
// The program's exit codes; scripts tell by them what failed (see --help).
namespace opcclient {

enum ExitCode : int {
  kOk = 0,
  kUsage = 1,           // bad command line
  kCannotConnect = 2,   // unknown ProgID or CLSID, or the server could not be created
  kCallFailed = 3,      // a call on the server failed as a whole
  kItemFailed = 4,      // the calls succeeded but at least one item or property failed
  kTimedOut = 5,        // the server did not answer within --timeout
};

}  // namespace opcclient
