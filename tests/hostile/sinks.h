#pragma once
// The client's trivial sinks: they count what arrives and answer S_OK, and
// nothing in them can throw.
#include "opc_client.h"

namespace hostile {

class ShutdownCounter : public e2e::Sink<IOPCShutdown> {
 public:
  static e2e::Com<ShutdownCounter> Make() { return e2e::Com<ShutdownCounter>(new ShutdownCounter); }
  STDMETHODIMP ShutdownRequest(LPCWSTR) noexcept override {
    ++calls;
    return S_OK;
  }
  long calls = 0;
};

class StreamCounter : public e2e::Sink<IAdviseSink> {
 public:
  static e2e::Com<StreamCounter> Make() { return e2e::Com<StreamCounter>(new StreamCounter); }
  STDMETHODIMP_(void) OnDataChange(FORMATETC*, STGMEDIUM*) noexcept override { ++calls; }
  STDMETHODIMP_(void) OnViewChange(DWORD, LONG) noexcept override {}
  STDMETHODIMP_(void) OnRename(IMoniker*) noexcept override {}
  STDMETHODIMP_(void) OnSave() noexcept override {}
  STDMETHODIMP_(void) OnClose() noexcept override {}
  long calls = 0;
};

}  // namespace hostile
