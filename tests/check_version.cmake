# Checks that BINARY carries a version resource with the project's VERSION,
# a product name and a description, as windres reads it back.
execute_process(COMMAND ${WINDRES} -i ${BINARY} -O rc OUTPUT_VARIABLE rc ERROR_VARIABLE err RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "windres cannot read the resources of ${BINARY}: ${err}")
endif()
string(REPLACE "." ", " numbers "${VERSION}")
foreach(wanted "FILEVERSION ${numbers}, 0" "VALUE \"FileVersion\", \"${VERSION}\"" "VALUE \"ProductName\", \""
        "VALUE \"FileDescription\", \"")
  string(FIND "${rc}" "${wanted}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${BINARY}: no ${wanted} in its version resource:\n${rc}")
  endif()
endforeach()
