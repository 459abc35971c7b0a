#pragma once
// Quillon.dll as a host program sees it: loaded by name, every function found
// by its exported name with the type the public header gives it.
#include <windows.h>

#include "quillon.h"

struct QuillonDll {
  HMODULE module = LoadLibraryW(L"Quillon.dll");

  template <class F>
  F Load(const char* name) const {
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
  }

#define QUILLON_FUNCTION(name) decltype(&::name) name = Load<decltype(&::name)>(#name)
#include "quillon_exports.inc"
#undef QUILLON_FUNCTION
};
