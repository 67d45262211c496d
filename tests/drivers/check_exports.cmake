# Fails unless LIBRARY exports exactly the four caller-ID driver entry points.
# Usage: cmake -DLIBRARY=<path> -DNM=<nm> -P check_exports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE listing RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(names "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND names ${name})
endforeach()
list(SORT names)
set(expected CIDR_Info CIDR_PlayLine CIDR_RegisterEvent CIDR_SaveLine)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "${LIBRARY} exports [${names}], expected [${expected}]")
endif()
