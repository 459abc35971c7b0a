#pragma once
// Texts from the host arrive as zero-terminated strings in the ANSI code page.
#include <string>

namespace quillon {

std::wstring FromAnsi(const char* s);

}  // namespace quillon
