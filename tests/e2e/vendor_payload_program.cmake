# The program built with a vendor payload directory: the stand-in library and images, and a
# driver package that bsdtar packs as pax, with a hard link and a UTF-8 name. A build of this
# tree limited to the program makes it, as a vendor build would.
set(vendor_dir ${CMAKE_BINARY_DIR}/e2e/vendor-payload)
set(vendor_package ${vendor_dir}/package) # the package's files, as the PC must get them
file(MAKE_DIRECTORY ${vendor_dir})
file(GLOB_RECURSE package_sources ${CMAKE_SOURCE_DIR}/sim/driver-package/*)
set(vendor_files flash_image.bin mcu_image.bin SiUSBXp.dll)
list(TRANSFORM vendor_files PREPEND ${ZC_STANDIN_DIR}/ OUTPUT_VARIABLE standin_files)
add_custom_command(OUTPUT ${vendor_dir}/driver_package.tar
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${vendor_package}
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/sim/driver-package
            ${vendor_package}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:NorvUSBInstaller> ${vendor_package}
    COMMAND ${CMAKE_COMMAND} -E rm ${vendor_package}/x64/SiLib.sys
    COMMAND ${CMAKE_COMMAND} -E create_hardlink ${vendor_package}/x86/SiLib.sys
            ${vendor_package}/x64/SiLib.sys
    COMMAND ${CMAKE_COMMAND} -E copy ${vendor_package}/setup.ini
            "${vendor_package}/Liesmich – Größe.txt"
    COMMAND bsdtar --format=pax -cf ${vendor_dir}/driver_package.tar -C ${vendor_package} .
    COMMAND ${CMAKE_COMMAND} -E copy ${standin_files} ${vendor_dir}
    DEPENDS NorvUSBInstaller ${package_sources} standin_images standin_payload ${standin_files}
    COMMENT "the vendor-like payload directory")
add_custom_target(vendor_payload_files DEPENDS ${vendor_dir}/driver_package.tar)

ExternalProject_Add(vendor_payload_program
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/vendor-payload-build
    CMAKE_GENERATOR ${CMAKE_GENERATOR}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
               -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DZC_PAYLOAD_DIR=${vendor_dir}
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target zandacore-programmer
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    DEPENDS vendor_payload_files)
