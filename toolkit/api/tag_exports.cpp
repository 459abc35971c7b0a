// Exports that build the address space and push values into it.
#include <memory>

#include "ansi_text.h"
#include "clock.h"
#include "exports_state.h"
#include "guard.h"
#include "mutex_lock.h"
#include "opc_tag.h"

using namespace quillon;

namespace {

TOPCTag* ParentOrRoot(TagHandle parent) {
  if (parent) return TOPCTag::FromHandle(parent);
  TOPCTag* root = CreatedModule().Space().Root();
  if (!root) throw std::logic_error("The server is not created");
  return root;
}

VARTYPE TypeOf(const VARIANT& v) {
  const VARIANT* p = &v;
  while (V_VT(p) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(p)) p = V_VARIANTREF(p);
  return V_VT(p) & ~VT_BYREF;
}

}  // namespace

extern "C" {

QUILLON_API TagHandle __stdcall RegTagEx(TagHandle parent, const char* name, WORD dataType, WORD accessRights) {
  TagHandle result = nullptr;
  ExportGuard(Exports().host, L"RegTagEx", [&]() -> BOOL {
    TOPCTag* tag = ParentOrRoot(parent)->AddChild(FromAnsi(name));
    tag->SetCanonicalType(dataType);
    tag->SetAccessRights(accessRights);
    result = tag->Handle();
    return kTrue;
  });
  return result;
}

QUILLON_API TagHandle __stdcall RegTag(TagHandle parent, const char* name, VARIANT value, WORD quality,
                                       WORD accessRights) {
  TagHandle handle = RegTagEx(parent, name, TypeOf(value), accessRights);
  if (!handle) return nullptr;
  TagHandle result = nullptr;
  ExportGuard(Exports().host, L"RegTag", [&]() -> BOOL {
    TOPCTag* tag = TOPCTag::FromHandle(handle);
    tag->SetValue(value);
    tag->SetQuality(quality);
    result = handle;
    return kTrue;
  });
  return result;
}

QUILLON_API BOOL __stdcall UnregTag(TagHandle handle) {
  if (!handle) return 0;
  return ExportGuard(Exports().host, L"UnregTag", [&]() -> BOOL {
    if (!Exports().module) return 0;  // no tree to remove it from
    AddressSpace& space = CreatedModule().Space();
    MutexLock lock(space.Mutex(), kAddressSpaceWaitMs);
    if (!lock.Locked()) return 0;
    TOPCTag* tag = TOPCTag::FromHandle(handle);
    if (TOPCTag* parent = tag->Parent()) {
      int index = parent->IndexOfChildNode(tag);
      if (index >= 0) parent->DeleteChild(size_t(index));
    } else if (tag != space.Root()) {
      tag->MarkRemoved();  // already cut from the tree
    }
    return kTrue;
  });
}

QUILLON_API BOOL __stdcall AddTagPropertyEx(TagHandle tag, const char* itemName, DWORD propId,
                                            const char* description, WORD dataType) {
  if (!tag) return 0;
  return QuietGuard([&]() -> BOOL {
    return TOPCTag::FromHandle(tag)->AddProperty(FromAnsi(itemName), propId, FromAnsi(description), dataType)
               ? kTrue : 0;
  });
}

QUILLON_API BOOL __stdcall SetTagProperty(TagHandle tag, DWORD propId, VARIANT value) {
  if (!tag) return 0;
  return ExportGuard(Exports().host, L"TOPCTag.SetProp", [&]() -> BOOL {
    return TOPCTag::FromHandle(tag)->SetProperty(propId, value) ? kTrue : 0;
  });
}

QUILLON_API BOOL __stdcall AddTagProperty(TagHandle tag, const char* itemName, DWORD propId,
                                          const char* description, VARIANT value) {
  if (AddTagPropertyEx(tag, itemName, propId, description, TypeOf(value)) != kTrue) return 0;
  return SetTagProperty(tag, propId, value);
}

QUILLON_API BOOL __stdcall SetTagQualifier(char qualifier) {
  return ExportGuard(Exports().host, L"SetTagQualifier", [&]() -> BOOL {
    // Blanks and control characters (codes 0 to 32) cannot separate names.
    if (static_cast<unsigned char>(qualifier) <= 32) return 0;
    wchar_t wide[2] = {};
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &qualifier, 1, wide, 2) != 1) return 0;
    Exports().host.TagQualifier = wide[0];
    return kTrue;
  });
}

QUILLON_API BOOL __stdcall UpdateTagWithTimeStamp(TagHandle tag, VARIANT value, WORD quality, FILETIME timeStamp) {
  if (!tag) return 0;
  return ExportGuard(Exports().host, L"UpdateTag", [&]() -> BOOL {
    return TOPCTag::FromHandle(tag)->Update(value, quality, timeStamp) == S_OK ? kTrue : 0;
  });
}

QUILLON_API BOOL __stdcall UpdateTag(TagHandle tag, VARIANT value, WORD quality) {
  return UpdateTagWithTimeStamp(tag, value, quality, CurrentFileTime());
}

}  // extern "C"
