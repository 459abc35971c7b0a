/* Quillon: host interface of the OPC Data Access server toolkit.
   A host program includes this header and links Quillon.dll (or loads it and
   finds the functions by name). Every function uses the Windows standard
   calling convention. Boolean results are -1 for success and 0 for failure.
   Texts passed in are zero-terminated ANSI strings, copied by the toolkit;
   every BSTR passed to a callback is new and belongs to the callback. */
#ifndef QUILLON_H
#define QUILLON_H

#include <windows.h>
#include <oleauto.h>

#ifdef QUILLON_BUILD
#define QUILLON_API /* exported by name through Quillon.def */
#else
#define QUILLON_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Identity of one tag of the address space; NULL means no tag. */
typedef void* TagHandle;
/* Identity of one server object (one client connection); compare only. */
typedef void* ServerHandle;

/* Action 0: a server object was created; 1: it is being destroyed. */
typedef void(__stdcall* ServerNotifyProc)(ServerHandle server, LONG action);
/* Action 0: a group was added; 1: a group is being removed. */
typedef void(__stdcall* GroupNotifyProc)(ServerHandle server, BSTR groupName, LONG action);
/* Action 0 item added, 1 removed, 2 set active, 3 set inactive. */
typedef void(__stdcall* ItemNotifyProc)(ServerHandle server, TagHandle tag, LONG action);
/* An unknown item ID was asked for: store a new tag's handle, or NULL to refuse. */
typedef void(__stdcall* TagNotifyProc)(BSTR itemId, BSTR accessPath, TagHandle* tag);
/* A device read: fill value, quality and timestamp; result arrives S_OK. */
typedef void(__stdcall* ReadCallbackProc)(TagHandle tag, VARIANT* value, WORD* quality,
                                          FILETIME* timeStamp, HRESULT* result);
/* A device write of a value already converted to the tag's canonical type. */
typedef void(__stdcall* WriteCallbackProc)(TagHandle tag, VARIANT value, HRESULT* result);
/* DA 3.0 browsing asks whether to list a tag; accept arrives -1. */
typedef void(__stdcall* FilterCallbackProc)(TagHandle tag, BSTR vendorFilter, BOOL* accept);
/* One log line. */
typedef void(__stdcall* LogNotifyProc)(BSTR text);

/* Lifecycle, identity and state. */
QUILLON_API BOOL __stdcall CreateServer(const char* classId, LONG scanRate);
QUILLON_API BOOL __stdcall FreeServer(void);
QUILLON_API BOOL __stdcall SetServerState(LONG state);
QUILLON_API void __stdcall ShutDown(void);
QUILLON_API BOOL __stdcall SetVensionInfo(const char* vendorInfo, WORD major, WORD minor, WORD build);

/* Callbacks; NULL uninstalls (SetLogNotify refuses NULL). */
QUILLON_API BOOL __stdcall SetServerNotify(ServerNotifyProc proc);
QUILLON_API BOOL __stdcall SetGroupNotify(GroupNotifyProc proc);
QUILLON_API BOOL __stdcall SetItemNotify(ItemNotifyProc proc);
QUILLON_API BOOL __stdcall SetTagNotify(TagNotifyProc proc);
QUILLON_API BOOL __stdcall SetReadCallback(ReadCallbackProc proc);
QUILLON_API BOOL __stdcall SetWriteCallback(WriteCallbackProc proc);
QUILLON_API BOOL __stdcall SetFilterCallback(FilterCallbackProc proc);
QUILLON_API BOOL __stdcall SetReadCallbackEx(void* proc);
QUILLON_API BOOL __stdcall SetWriteCallbackEx(void* proc);
QUILLON_API BOOL __stdcall SetLogNotify(LogNotifyProc proc);
QUILLON_API void __stdcall SetLogOption(WORD option);

/* Tags. A nil parent means the root. Values arrive by value and are copied;
   qualities are OPC quality words; timestamps are UTC. */
QUILLON_API TagHandle __stdcall RegTagEx(TagHandle parent, const char* name, WORD dataType, WORD accessRights);
QUILLON_API TagHandle __stdcall RegTag(TagHandle parent, const char* name, VARIANT value, WORD quality,
                                       WORD accessRights);
QUILLON_API BOOL __stdcall UnregTag(TagHandle tag);
QUILLON_API BOOL __stdcall AddTagPropertyEx(TagHandle tag, const char* itemName, DWORD propId,
                                            const char* description, WORD dataType);
QUILLON_API BOOL __stdcall AddTagProperty(TagHandle tag, const char* itemName, DWORD propId,
                                          const char* description, VARIANT value);
QUILLON_API BOOL __stdcall SetTagProperty(TagHandle tag, DWORD propId, VARIANT value);
QUILLON_API BOOL __stdcall SetTagQualifier(char qualifier);
QUILLON_API BOOL __stdcall UpdateTagWithTimeStamp(TagHandle tag, VARIANT value, WORD quality, FILETIME timeStamp);
QUILLON_API BOOL __stdcall UpdateTag(TagHandle tag, VARIANT value, WORD quality);

/* Registration of the server class, its ProgID and the OPC Data Access
   categories (needs rights to write HKEY_CLASSES_ROOT). */
QUILLON_API BOOL __stdcall RegServer(const char* classId, const char* progId, const char* description,
                                     const char* exePath);
QUILLON_API BOOL __stdcall UnregServer(const char* classId, const char* progId);
QUILLON_API BOOL __stdcall RegServerAsService(LONG unused);

#ifdef __cplusplus
}
#endif

#endif
