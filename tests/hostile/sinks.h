#pragma once
// The client's trivial sinks: they count what arrives and answer S_OK, and
// nothing in them can throw.
#include "opc_client.h"

namespace hostile {

class ShutdownCounter : public quillon::ComObject<IOPCShutdown> {
 public:
  STDMETHODIMP ShutdownRequest(LPCWSTR) noexcept override {
    ++calls;
    return S_OK;
  }
  long calls = 0;
};

class StreamCounter : public quillon::ComObject<IAdviseSink> {
 public:
  STDMETHODIMP_(void) OnDataChange(FORMATETC*, STGMEDIUM*) noexcept override { ++calls; }
  STDMETHODIMP_(void) OnViewChange(DWORD, LONG) noexcept override {}
  STDMETHODIMP_(void) OnRename(IMoniker*) noexcept override {}
  STDMETHODIMP_(void) OnSave() noexcept override {}
  STDMETHODIMP_(void) OnClose() noexcept override {}
  long calls = 0;
};

}  // namespace hostile
