# Fails unless a DLL exports exactly the expected names, undecorated, and the
# given extra ordinals lead to the same address as a named export.
#
#   cmake -DOBJDUMP=<triplet>-objdump -DBINARY=<file.dll> -DNAMES=<name;name...>
#         [-DORDINAL_ALIASES=<ordinal=name;...>] -P check_exports.cmake
cmake_minimum_required(VERSION 3.20)

execute_process(COMMAND "${OBJDUMP}" -p "${BINARY}" OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${BINARY} failed")
endif()

# "[  5] +base[   6] 14bc Export RVA" -> ordinal 6 at 14bc
string(REGEX MATCHALL "\\+base\\[ *[0-9]+\\] +[0-9a-fA-F]+ Export RVA" rvas "${dump}")
foreach(entry IN LISTS rvas)
  string(REGEX REPLACE "^\\+base\\[ *([0-9]+)\\] +([0-9a-fA-F]+).*" "\\1;\\2" pair "${entry}")
  list(GET pair 0 ordinal)
  list(GET pair 1 rva)
  set(rva_of_${ordinal} ${rva})
endforeach()

# "[   5] SetLogOption" in the name pointer table -> name at ordinal 6 (index + base 1)
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(.*)" table "${dump}")
string(FIND "${CMAKE_MATCH_1}" "\n\n" table_end)
string(SUBSTRING "${CMAKE_MATCH_1}" 0 ${table_end} table)
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\r\n]+" named "${table}")
set(exported)
foreach(entry IN LISTS named)
  string(REGEX REPLACE "^\\[ *([0-9]+)\\] (.*)$" "\\1;\\2" pair "${entry}")
  list(GET pair 0 index)
  list(GET pair 1 name)
  string(STRIP "${name}" name)
  math(EXPR ordinal "${index} + 1")
  set(ordinal_of_${name} ${ordinal})
  list(APPEND exported "${name}")
endforeach()

list(SORT exported)
set(expected ${NAMES})
list(SORT expected)
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "${BINARY} exports\n  ${exported}\nexpected\n  ${expected}")
endif()

foreach(alias IN LISTS ORDINAL_ALIASES)
  string(REPLACE "=" ";" pair "${alias}")
  list(GET pair 0 ordinal)
  list(GET pair 1 name)
  set(named_ordinal ${ordinal_of_${name}})
  if(NOT DEFINED rva_of_${ordinal} OR NOT rva_of_${ordinal} STREQUAL rva_of_${named_ordinal})
    message(FATAL_ERROR "${BINARY}: ordinal ${ordinal} does not lead to ${name}")
  endif()
endforeach()
message(STATUS "${BINARY}: exports as expected")
