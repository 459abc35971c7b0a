#include "exports_state.h"

#include <stdexcept>

namespace quillon {

ExportsState& Exports() {
  static ExportsState state;
  return state;
}

ModuleState& CreatedModule() {
  if (!Exports().module) throw std::logic_error("The server is not created");
  return *Exports().module;
}

}  // namespace quillon
