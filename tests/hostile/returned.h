#pragma once
// The owner of the one callee-allocated result that the toolkit's COM owners
// do not cover, freed as a real client must free it, whatever the call
// answered.
#include <windows.h>

namespace hostile {

// A STGMEDIUM the server filled, or nothing.
struct Medium {
  STGMEDIUM m{};
  Medium() = default;
  Medium(const Medium&) = delete;
  Medium& operator=(const Medium&) = delete;
  ~Medium() {
    if (m.tymed != TYMED_NULL) ReleaseStgMedium(&m);
  }
};

}  // namespace hostile
