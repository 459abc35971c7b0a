#pragma once
// IEnumUnknown over a snapshot of interface references; the snapshot holds one
// reference on each entry until the enumerator and its clones are gone.
#include <objidl.h>

#include <vector>

#include "com_ptr.h"
#include "logging.h"

namespace quillon {

ComPtr<IEnumUnknown> MakeEnumUnknown(const LogSink& log, std::vector<ComPtr<IUnknown>> entries, ULONG position = 0);

}  // namespace quillon
