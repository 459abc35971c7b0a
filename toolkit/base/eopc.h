#pragma once
// The toolkit's exception: carries the result an operation must report, with
// the code's symbolic name as its message.
#include <windows.h>

#include <stdexcept>
#include <string>

namespace quillon {

class EOPC : public std::runtime_error {
 public:
  EOPC(HRESULT code, const std::string& name) : std::runtime_error(name), ErrorCode(code) {}
  // Names the code from the table of known codes.
  explicit EOPC(HRESULT code);

  const HRESULT ErrorCode;
};

[[noreturn]] inline void RaiseOPC(HRESULT code) { throw EOPC(code); }

}  // namespace quillon
