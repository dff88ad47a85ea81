# Shared build helpers: host tools, blob embedding, tests.
include(ExternalProject)

# Tools that run on the build machine during the build, whatever the target.
set(ZC_HOST_TOOLS_DIR ${CMAKE_BINARY_DIR}/host-tools)
set(ZC_GENERATE_STANDIN_IMAGES ${ZC_HOST_TOOLS_DIR}/bin/generate_standin_images)
set(ZC_EMBED_BLOB ${ZC_HOST_TOOLS_DIR}/bin/embed_blob)
set(ZC_PREPARE_DRIVER_PACKAGE ${ZC_HOST_TOOLS_DIR}/bin/prepare-driver-package)
ExternalProject_Add(host_tools
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/cmake/host-tools
    BINARY_DIR ${ZC_HOST_TOOLS_DIR}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=c++
               -DZC_SOURCE_DIR=${CMAKE_SOURCE_DIR}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${ZC_GENERATE_STANDIN_IMAGES} ${ZC_EMBED_BLOB} ${ZC_PREPARE_DRIVER_PACKAGE})

set(ZC_BLOB_DIR ${CMAKE_BINARY_DIR}/blobs)
file(MAKE_DIRECTORY ${ZC_BLOB_DIR})

# zc_embed_blob(NAME INPUT [COMPRESS]): turns INPUT into a C++ array NAME
# (blobs/NAME.cpp) and a header with its stored and decoded sizes (blobs/NAME.h).
# With COMPRESS the stored bytes are `bzip2 -9` of INPUT.
function(zc_embed_blob name input)
    cmake_parse_arguments(ARG "COMPRESS" "" "" ${ARGN})
    set(stored ${input})
    if(ARG_COMPRESS)
        set(stored ${ZC_BLOB_DIR}/${name}.bz2)
        add_custom_command(OUTPUT ${stored}
            COMMAND bzip2 -9 -c ${input} > ${stored}
            DEPENDS ${input}
            COMMENT "bzip2 -9 ${name}")
    endif()
    add_custom_command(OUTPUT ${ZC_BLOB_DIR}/${name}.cpp ${ZC_BLOB_DIR}/${name}.h
        COMMAND ${ZC_EMBED_BLOB} ${name} ${stored} ${input} ${ZC_BLOB_DIR}
        DEPENDS ${stored} ${input} host_tools
        COMMENT "embedding ${name}")
    set_property(GLOBAL APPEND PROPERTY ZC_BLOB_SOURCES ${ZC_BLOB_DIR}/${name}.cpp)
endfunction()

# zc_test(NAME SOURCES... LIBS ...): a GoogleTest executable run by ctest
# (natively, or through Wine in the Windows tree).
function(zc_test name)
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
    add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
        PROPERTIES ENVIRONMENT "ZC_SOURCE_DIR=${CMAKE_SOURCE_DIR};ZC_BINARY_DIR=${CMAKE_BINARY_DIR}")
endfunction()

# zc_fuzzer(NAME SOURCES... LIBS ...): a libFuzzer target (fuzz tree only); seeds are
# taken from fuzz/corpus/NAME when present.
function(zc_fuzzer name)
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
    if(NOT ZC_FUZZ)
        return()
    endif()
    add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()

# zc_bench(NAME SOURCES... LIBS ...): a benchmark program (optimised bench tree only).
function(zc_bench name)
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
    if(NOT ZC_BENCH)
        return()
    endif()
    add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
endfunction()
