# Static check of the proxy/stub sources (no Wine needed, so it also covers the
# i686 build): the corrected proxies have no mis-pointed string parameter left,
# and widl's raw output has exactly the known defects, so that a new widl whose
# output differs gets looked at instead of being patched blindly.
#
#   cmake -DPERL=perl -DSCRIPT=fix_widl_proxy.pl -DFIXED=a_p.c|b_p.c -DRAW=a_p.c|b_p.c
#         -DEXPECTED=expected_widl_defects.txt
#         -DEXPECTED_CORRELATIONS=expected_widl_correlations_<arch>.txt -P check_proxy_fix.cmake

string(REPLACE "|" ";" fixed "${FIXED}")
string(REPLACE "|" ";" raw "${RAW}")

execute_process(COMMAND "${PERL}" "${SCRIPT}" --check ${fixed}
                OUTPUT_VARIABLE left ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "corrected proxies still have mis-pointed string parameters:\n${left}${errors}")
endif()

execute_process(COMMAND "${PERL}" "${SCRIPT}" --list ${raw}
                OUTPUT_VARIABLE found ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "fix_widl_proxy.pl --list failed: ${errors}")
endif()
file(READ "${EXPECTED}" expected)
string(STRIP "${found}" found)
string(STRIP "${expected}" expected)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "widl's proxies no longer have the known defects; review fix_widl_proxy.pl.\n"
                      "Expected:\n${expected}\nFound:\n${found}")
endif()

# The flattened structure correlations (32-bit output only).
execute_process(COMMAND "${PERL}" "${SCRIPT}" --list-correlations ${fixed}
                OUTPUT_VARIABLE left ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT left STREQUAL "")
  message(FATAL_ERROR "corrected proxies still have misplaced correlations:\n${left}${errors}")
endif()
execute_process(COMMAND "${PERL}" "${SCRIPT}" --list-correlations ${raw}
                OUTPUT_VARIABLE found ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "fix_widl_proxy.pl --list-correlations failed: ${errors}")
endif()
file(READ "${EXPECTED_CORRELATIONS}" expected)
string(STRIP "${found}" found)
string(STRIP "${expected}" expected)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "widl's proxies no longer have the known correlation defects; review fix_widl_proxy.pl.\n"
                      "Expected:\n${expected}\nFound:\n${found}")
endif()
