#pragma once
// Last resort for exceptions that escaped every guard: logged under "ExceptHandler".
#include <windows.h>

namespace quillon {

LONG WINAPI ExceptHandler(EXCEPTION_POINTERS* info);

}  // namespace quillon
