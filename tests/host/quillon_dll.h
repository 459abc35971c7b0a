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
  QUILLON_FUNCTION(CreateServer);
  QUILLON_FUNCTION(FreeServer);
  QUILLON_FUNCTION(SetServerState);
  QUILLON_FUNCTION(ShutDown);
  QUILLON_FUNCTION(SetVensionInfo);
  QUILLON_FUNCTION(SetServerNotify);
  QUILLON_FUNCTION(SetGroupNotify);
  QUILLON_FUNCTION(SetItemNotify);
  QUILLON_FUNCTION(SetTagNotify);
  QUILLON_FUNCTION(SetReadCallback);
  QUILLON_FUNCTION(SetWriteCallback);
  QUILLON_FUNCTION(SetFilterCallback);
  QUILLON_FUNCTION(SetReadCallbackEx);
  QUILLON_FUNCTION(SetWriteCallbackEx);
  QUILLON_FUNCTION(SetLogNotify);
  QUILLON_FUNCTION(SetLogOption);
  QUILLON_FUNCTION(RegTagEx);
  QUILLON_FUNCTION(RegTag);
  QUILLON_FUNCTION(UnregTag);
  QUILLON_FUNCTION(AddTagPropertyEx);
  QUILLON_FUNCTION(AddTagProperty);
  QUILLON_FUNCTION(SetTagProperty);
  QUILLON_FUNCTION(SetTagQualifier);
  QUILLON_FUNCTION(UpdateTagWithTimeStamp);
  QUILLON_FUNCTION(UpdateTag);
#undef QUILLON_FUNCTION
};
