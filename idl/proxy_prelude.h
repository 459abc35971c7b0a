/*
 * Forced into every widl-generated proxy/stub source of QuillonPS.dll.
 */
#ifndef QUILLON_PROXY_PRELUDE_H
#define QUILLON_PROXY_PRELUDE_H

#include <objbase.h>

/*
 * rpcrt4 exports these and the generated proxy vtables use them, but
 * mingw-w64's unknwn.h declares them for C++ only.
 */
HRESULT STDMETHODCALLTYPE IUnknown_QueryInterface_Proxy(IUnknown *This, REFIID riid, void **ppvObject);
ULONG STDMETHODCALLTYPE IUnknown_AddRef_Proxy(IUnknown *This);
ULONG STDMETHODCALLTYPE IUnknown_Release_Proxy(IUnknown *This);

/*
 * The proxy/stub factory gets a class ID of its own, so that registering this
 * DLL does not take over the class ID of another vendor's proxy/stub DLL for the
 * same interfaces (by default it would be the first interface's IID).
 * {1D29B22B-C1ED-4D7C-B286-80E57C4A4AAC}
 */
#define PROXY_CLSID_IS { 0x1d29b22b, 0xc1ed, 0x4d7c, { 0xb2, 0x86, 0x80, 0xe5, 0x7c, 0x4a, 0x4a, 0xac } }

#endif
