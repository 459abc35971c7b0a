#pragma once
// IEnumString over a private copy of a list of texts.
#include <objidl.h>

#include <string>
#include <vector>

#include "com_ptr.h"
#include "logging.h"

namespace quillon {

ComPtr<IEnumString> MakeEnumString(const LogSink& log, std::vector<std::wstring> strings, ULONG position = 0);

}  // namespace quillon
