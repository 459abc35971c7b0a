# Fails when a Windows binary imports a DLL that a bare Windows installation
# does not have (compiler runtimes such as libstdc++, libgcc, libwinpthread).
#
#   cmake -DOBJDUMP=<triplet>-objdump -DBINARY=<file.dll|file.exe>
#         [-DEXTRA_ALLOWED=<name;name...>] -P check_imports.cmake
#
# EXTRA_ALLOWED names further DLLs (case-insensitive, without path) that the
# binary may import, e.g. the project's own DLLs.

cmake_minimum_required(VERSION 3.20)

foreach(var OBJDUMP BINARY)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "check_imports.cmake: ${var} is not set")
  endif()
endforeach()
if(NOT EXISTS "${BINARY}")
  message(FATAL_ERROR "check_imports.cmake: ${BINARY} does not exist")
endif()

execute_process(
  COMMAND "${OBJDUMP}" -p "${BINARY}"
  OUTPUT_VARIABLE dump
  ERROR_VARIABLE errors
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${BINARY} failed (${status}): ${errors}")
endif()

set(system_dlls
  kernel32 kernelbase ntdll user32 gdi32 gdiplus advapi32 shell32 shlwapi comctl32 comdlg32
  ole32 oleaut32 olepro32 rpcrt4 msvcrt ucrtbase ws2_32 wsock32 mswsock iphlpapi dnsapi
  secur32 crypt32 bcrypt ncrypt userenv version winmm imm32 uxtheme dwmapi psapi dbghelp
  setupapi cfgmgr32 netapi32 wtsapi32 winspool.drv msimg32 urlmon wininet winhttp
  powrprof sspicli authz mpr wintrust)
string(TOLOWER "${EXTRA_ALLOWED}" extra_allowed)

string(REGEX MATCHALL "DLL Name: [^\r\n]+" entries "${dump}")
set(imports)
set(rejected)
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^DLL Name: *" "" dll "${entry}")
  string(STRIP "${dll}" dll)
  list(APPEND imports "${dll}")
  string(TOLOWER "${dll}" lower)
  string(REGEX REPLACE "\\.dll$" "" stem "${lower}")
  if(stem IN_LIST system_dlls OR lower IN_LIST system_dlls
     OR lower IN_LIST extra_allowed OR stem IN_LIST extra_allowed
     OR lower MATCHES "^(api|ext)-ms-win-")
    continue()
  endif()
  list(APPEND rejected "${dll}")
endforeach()

if(NOT imports)
  message(FATAL_ERROR "${BINARY}: no imports found in the objdump output; is it a PE file?")
endif()
list(JOIN imports ", " import_text)
if(rejected)
  list(JOIN rejected ", " rejected_text)
  message(FATAL_ERROR "${BINARY} imports DLLs that are not part of Windows: ${rejected_text}\n"
                      "All imports: ${import_text}")
endif()
message(STATUS "${BINARY}: imports only system DLLs (${import_text})")
