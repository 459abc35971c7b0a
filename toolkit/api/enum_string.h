#pragma once
// IEnumString over a private copy of a list of texts.
#include <objidl.h>

#include <string>
#include <vector>

#include "com_ptr.h"

namespace quillon {

ComPtr<IEnumString> MakeEnumString(std::vector<std::wstring> strings, ULONG position = 0);

}  // namespace quillon
