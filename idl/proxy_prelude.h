/*
 * Forced into every widl-generated proxy/stub source of QuillonPS.dll and
 * OPCServerListPS.dll.
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
 * Each proxy/stub factory gets a class ID of its own, so that registering the
 * DLL does not take over the class ID of another vendor's proxy/stub DLL for the
 * same interfaces (by default it would be the first interface's IID).
 */
#ifdef QUILLON_SERVER_LIST_PROXY
/* {6B0E1C4F-3A52-4E8B-9D71-2F6C8A0B5E13} */
#define PROXY_CLSID_IS { 0x6b0e1c4f, 0x3a52, 0x4e8b, { 0x9d, 0x71, 0x2f, 0x6c, 0x8a, 0x0b, 0x5e, 0x13 } }
#else
/* {1D29B22B-C1ED-4D7C-B286-80E57C4A4AAC} */
#define PROXY_CLSID_IS { 0x1d29b22b, 0xc1ed, 0x4d7c, { 0xb2, 0x86, 0x80, 0xe5, 0x7c, 0x4a, 0x4a, 0xac } }
#endif

#endif
