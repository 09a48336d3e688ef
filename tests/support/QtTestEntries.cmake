# Run after a Qt Test program is built: asks it for its test functions
# (-functions) and writes a ctest file with one entry per function, named
# NAME.function, so a slow or hanging function is timed and reported on its
# own. Takes -DPROGRAM= -DNAME= -DOUT= -DTIMEOUT= -DLABELS= (','-separated).
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ${PROGRAM} -functions
  OUTPUT_VARIABLE listing
  ERROR_VARIABLE errors
  RESULT_VARIABLE status
  TIMEOUT 60)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} -functions failed (${status}):\n${errors}")
endif()
string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*\\(\\)" functions "${listing}")
if(NOT functions)
  message(FATAL_ERROR "${PROGRAM} -functions listed no test function")
endif()
string(REPLACE "," ";" labels "${LABELS}")
set(text "")
foreach(function IN LISTS functions)
  string(REPLACE "()" "" function "${function}")
  string(APPEND text
    "add_test([=[${NAME}.${function}]=] [=[${PROGRAM}]=] [=[${function}]=])\n"
    "set_tests_properties([=[${NAME}.${function}]=] PROPERTIES TIMEOUT ${TIMEOUT}"
    " LABELS [==[${labels}]==] ENVIRONMENT QT_QPA_PLATFORM=offscreen)\n")
endforeach()
file(WRITE ${OUT} "${text}")
