#pragma once
// Texts and symbolic names of the result codes the toolkit reports.
#include <windows.h>

#include <string>

namespace quillon {

// The client-visible text of a code; every code has one (unknown codes get
// "Error: <HEX> not Found"). The same for every locale.
std::wstring ErrorText(HRESULT code);

// The symbolic name of a code ("OPC_E_BADTYPE"), or its hexadecimal form.
std::string ErrorName(HRESULT code);

}  // namespace quillon
