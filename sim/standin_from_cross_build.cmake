# The native trees cannot build i686 code. A cross build of this same source tree,
# limited to the stand-in library and driver package (ZC_STANDIN_ONLY), makes them
# exactly as the Windows tree does, and the payload takes them from there.
set(cross_build ${CMAKE_BINARY_DIR}/standin-cross)
set(cross_outputs ${cross_build}/payload-standin/SiUSBXp.dll
    ${cross_build}/payload-standin/driver_package.tar)
ExternalProject_Add(standin_cross_build
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${cross_build}
    CMAKE_GENERATOR ${CMAKE_GENERATOR}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-i686.cmake
               -DCMAKE_BUILD_TYPE=Release -DZC_STANDIN_ONLY=ON
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${cross_outputs})
foreach(output ${cross_outputs})
    get_filename_component(name ${output} NAME)
    add_custom_command(OUTPUT ${ZC_STANDIN_DIR}/${name}
        COMMAND ${CMAKE_COMMAND} -E copy ${output} ${ZC_STANDIN_DIR}/${name}
        DEPENDS standin_cross_build ${output})
endforeach()
add_custom_target(standin_payload ALL
    DEPENDS ${ZC_STANDIN_DIR}/SiUSBXp.dll ${ZC_STANDIN_DIR}/driver_package.tar)
