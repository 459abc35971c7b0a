#include "except_handler.h"

#include <cwchar>

#include "exports_state.h"

namespace quillon {

LONG WINAPI ExceptHandler(EXCEPTION_POINTERS* info) {
  wchar_t text[1024];
  const EXCEPTION_RECORD* rec = info ? info->ExceptionRecord : nullptr;
  void* address = rec ? rec->ExceptionAddress : nullptr;
  wchar_t module[MAX_PATH] = L"?";
  HMODULE hm = nullptr;
  if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         static_cast<LPCWSTR>(address), &hm)) {
    wchar_t path[MAX_PATH];
    if (DWORD n = GetModuleFileNameW(hm, path, MAX_PATH); n > 0 && n < MAX_PATH) {
      const wchar_t* base = std::wcsrchr(path, L'\\');
      std::wcsncpy(module, base ? base + 1 : path, MAX_PATH - 1);
      module[MAX_PATH - 1] = 0;
    }
  }
  int n = std::swprintf(text, 1024, L"Exception %08X in module %ls at %p.",
                        rec ? unsigned(rec->ExceptionCode) : 0u, module, address);
  if (n > 0) Exports().host.LogOperationError(std::wstring_view(text, size_t(n)), L"ExceptHandler");
  if (LPTOP_LEVEL_EXCEPTION_FILTER saved = Exports().savedExceptionFilter) return saved(info);
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace quillon
