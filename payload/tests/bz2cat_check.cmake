# Runs bz2cat on INPUT (through EMULATOR when set) and checks its exit code, its standard
# output against EXPECTED_OUTPUT (a file) and its standard error against EXPECTED_ERROR.
execute_process(COMMAND ${EMULATOR} ${BZ2CAT} ${INPUT}
    OUTPUT_FILE ${OUTPUT}
    ERROR_VARIABLE error
    RESULT_VARIABLE exit_code)
string(STRIP "${error}" error)
if(NOT exit_code EQUAL EXPECTED_EXIT)
    message(FATAL_ERROR "bz2cat exited with ${exit_code}, expected ${EXPECTED_EXIT}: ${error}")
endif()
if(DEFINED EXPECTED_ERROR AND NOT error STREQUAL EXPECTED_ERROR)
    message(FATAL_ERROR "bz2cat wrote '${error}', expected '${EXPECTED_ERROR}'")
endif()
if(DEFINED EXPECTED_OUTPUT)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${EXPECTED_OUTPUT}
        RESULT_VARIABLE differs)
    if(differs)
        message(FATAL_ERROR "bz2cat output differs from ${EXPECTED_OUTPUT}")
    endif()
endif()
