#pragma once
// The system's text for a Win32 error or HRESULT, with its code: for the
// messages that tell a person why a registry or file step failed.
#include <windows.h>

#include <string>

namespace quillon {

std::wstring SystemText(LONG code);

}  // namespace quillon
