#pragma once
// The boundary helpers: no exception ever leaves an exported function or a COM
// method. An EOPC becomes the method's result; anything else is logged to the
// given sink under the operation's name and the method answers its failure code.
#include <windows.h>

#include <exception>
#include <new>
#include <string_view>

#include "eopc.h"
#include "logging.h"

namespace quillon {

inline void LogCurrentException(const LogSink& log, std::wstring_view operation) noexcept {
  try {
    throw;
  } catch (const std::exception& e) {
    try { log.LogOperationError(WidenMessage(e.what()), operation); } catch (...) {}
  } catch (...) {
    log.LogOperationError(L"unknown exception", operation);
  }
}

// What a COM method answers when its body fails unexpectedly. The code is
// checked where it is written: a guard can never turn an exception into a
// success, whatever result the body had reached when it threw.
class FailureCode {
 public:
  consteval FailureCode(HRESULT code) : code_(code) {
    if (code >= 0) throw "a guard's failure result must be a failure code";
  }
  constexpr HRESULT Get() const { return code_; }

 private:
  HRESULT code_;
};

template <class Body>
HRESULT ComGuard(const LogSink& log, std::wstring_view operation, FailureCode failure, Body&& body) noexcept {
  try {
    return body();
  } catch (const EOPC& e) {
    return e.ErrorCode;
  } catch (const std::bad_alloc&) {
    LogCurrentException(log, operation);
    return E_OUTOFMEMORY;
  } catch (...) {
    LogCurrentException(log, operation);
    return failure.Get();
  }
}

// A step whose failure is only logged: the caller goes on either way.
template <class Body>
void LoggedStep(const LogSink& log, std::wstring_view operation, Body&& body) noexcept {
  try {
    body();
  } catch (...) {
    LogCurrentException(log, operation);
  }
}

// For exports returning the toolkit's boolean: -1 success, 0 failure.
constexpr BOOL kTrue = -1;

template <class Body>
BOOL ExportGuard(const LogSink& log, std::wstring_view operation, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    LogCurrentException(log, operation);
    return 0;
  }
}

// For exports whose failures are only their result, with no log line.
template <class Body>
BOOL QuietGuard(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return 0;
  }
}

}  // namespace quillon
