#include "error_texts.h"

#include <cstdio>

#include "eopc.h"

namespace quillon {
namespace {

struct CodeEntry {
  HRESULT code;
  const char* name;
  const wchar_t* text;  // nullptr: no text of its own
};

constexpr CodeEntry kCodes[] = {
    {HRESULT(0x80004001), "E_NOTIMPL", L"Not implemented."},
    {HRESULT(0x80004002), "E_NOINTERFACE", L"No such interface supported."},
    {HRESULT(0x8007000E), "E_OUTOFMEMORY", L"Ran out of memory."},
    {HRESULT(0x80070057), "E_INVALIDARG", L"One or more arguments are invalid."},
    {HRESULT(0xC0040001), "OPC_E_INVALIDHANDLE", L"The value of the handle is invalid."},
    {HRESULT(0xC0040004), "OPC_E_BADTYPE",
     L"The server cannot convert the data between the requested data type and the canonical data type."},
    {HRESULT(0xC0040005), "OPC_E_PUBLIC", L"The requested operation cannot be done on a public group."},
    {HRESULT(0xC0040006), "OPC_E_BADRIGHTS", L"The Items AccessRights do not allow the operation."},
    {HRESULT(0xC0040007), "OPC_E_UNKNOWNITEMID", L"The item is no longer available in the server address space."},
    {HRESULT(0xC0040008), "OPC_E_INVALIDITEMID", L"The item definition does not conform to the server's syntax."},
    {HRESULT(0xC0040009), "OPC_E_INVALIDFILTER", L"The filter string was not valid."},
    {HRESULT(0xC004000A), "OPC_E_UNKNOWNPATH", L"The item's access path is not known to the server."},
    {HRESULT(0xC004000B), "OPC_E_RANGE", L"The value was out of range."},
    {HRESULT(0xC004000C), "OPC_E_DUPLICATENAME", L"Duplicate name not allowed."},
    {HRESULT(0x0004000D), "OPC_S_UNSUPPORTEDRATE",
     L"The server does not support the requested data rate but will use the closest available rate."},
    {HRESULT(0x0004000E), "OPC_S_CLAMP", L"A value passed to WRITE was accepted but the output was clamped."},
    {HRESULT(0x0004000F), "OPC_S_INUSE",
     L"The operation cannot be completed because the object still has references that exist."},
    {HRESULT(0xC0040010), "OPC_E_INVALIDCONFIGFILE", L"The server's configuration file is an invalid format."},
    {HRESULT(0xC0040011), "OPC_E_NOTFOUND", L"The server could not locate the requested object."},
    {HRESULT(0xC0040203), "OPC_E_INVALID_PID", L"The server does not recognise the passed property ID."},
    {HRESULT(0x00040200), "OPC_S_ALREADYACKED", L"The condition has already been acknowleged."},
    {HRESULT(0x00040201), "OPC_S_INVALIDBUFFERTIME", L"The buffer time parameter was invalid."},
    {HRESULT(0x00040202), "OPC_S_INVALIDMAXSIZE", L"The max size parameter was invalid."},
    {HRESULT(0xC0040204), "OPC_E_INVALIDTIME", L"The time does not match the latest active time."},
    {HRESULT(0xC0040205), "OPC_E_BUSY", L"A refresh is currently in progress."},
    {HRESULT(0xC0040206), "OPC_E_NOINFO", L"Information is not available."},
    // Codes raised by the toolkit that have no text of their own.
    {HRESULT(0x80004005), "E_FAIL", nullptr},
    {HRESULT(0x80004003), "E_POINTER", nullptr},
    {HRESULT(0x80040200), "CONNECT_E_NOCONNECTION", nullptr},
    {HRESULT(0x8002000A), "DISP_E_OVERFLOW", nullptr},
    {HRESULT(0x80020005), "DISP_E_TYPEMISMATCH", nullptr},
    {HRESULT(0xC0040400), "OPC_E_DEADBANDNOTSET", nullptr},
    {HRESULT(0xC0040401), "OPC_E_DEADBANDNOTSUPPORTED", nullptr},
    {HRESULT(0xC0040403), "OPC_E_INVALIDCONTINUATIONPOINT", nullptr},
    {HRESULT(0xC0040406), "OPC_E_NOTSUPPORTED", nullptr},
    {HRESULT(0x00000000), "S_OK", nullptr},
    {HRESULT(0x00000001), "S_FALSE", nullptr},
};

const CodeEntry* Find(HRESULT code) {
  for (const auto& e : kCodes)
    if (e.code == code) return &e;
  return nullptr;
}

}  // namespace

std::wstring ErrorText(HRESULT code) {
  if (const CodeEntry* e = Find(code); e && e->text) return e->text;
  wchar_t buf[40];
  std::swprintf(buf, 40, L"Error: %X not Found", unsigned(code));
  return buf;
}

std::string ErrorName(HRESULT code) {
  if (const CodeEntry* e = Find(code)) return e->name;
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", unsigned(code));
  return buf;
}

EOPC::EOPC(HRESULT code) : EOPC(code, ErrorName(code)) {}

}  // namespace quillon
