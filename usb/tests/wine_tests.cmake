# Windows-side tests run under Wine, each test program in a private copy of the tree's
# prefix (they write the registry and the system directory).
set(usb_test_data ${CMAKE_CURRENT_BINARY_DIR}/test-data)
set(usb_test_package ${usb_test_data}/package)

# Libraries that export the eight entry points, or only the first seven.
foreach(exports 8 7)
    add_library(usb_test_entries${exports} SHARED
        tests/test_entries.cpp tests/test_entries${exports}.def)
    set_target_properties(usb_test_entries${exports} PROPERTIES PREFIX "")
endforeach()
add_executable(usb_test_driver_installer WIN32 tests/test_driver_installer.cpp)

add_custom_command(OUTPUT ${usb_test_data}/usb_test_entries8.dll.bz2
    COMMAND ${CMAKE_COMMAND} -E make_directory ${usb_test_data}
    COMMAND bzip2 -9 -c $<TARGET_FILE:usb_test_entries8>
            > ${usb_test_data}/usb_test_entries8.dll.bz2
    DEPENDS usb_test_entries8
    COMMENT "bzip2 -9 the test library")

# A driver package laid out as the carried one, with the test installer.
set(package_members NorvUSBInstaller.exe NorvUSB.inf setup.ini x86 x64)
add_custom_command(OUTPUT ${usb_test_data}/package.tar.bz2
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${usb_test_package}
    COMMAND ${CMAKE_COMMAND} -E copy_directory
            ${CMAKE_CURRENT_SOURCE_DIR}/tests/driver-package ${usb_test_package}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:usb_test_driver_installer>
            ${usb_test_package}/NorvUSBInstaller.exe
    COMMAND tar --format=ustar --owner=0 --group=0 --numeric-owner
            -cf ${usb_test_data}/package.tar -C ${usb_test_package} ${package_members}
    COMMAND bzip2 -9 -c ${usb_test_data}/package.tar > ${usb_test_data}/package.tar.bz2
    DEPENDS usb_test_driver_installer
            tests/driver-package/NorvUSB.inf tests/driver-package/setup.ini
            tests/driver-package/x86/SiUSBXp.sys tests/driver-package/x64/SiUSBXp.sys
    COMMENT "packing the test driver package")
add_custom_target(usb_test_data ALL DEPENDS
    ${usb_test_data}/usb_test_entries8.dll.bz2 ${usb_test_data}/package.tar.bz2)

set(run_private ${CMAKE_SOURCE_DIR}/scripts/wine-run-private)

add_executable(usb_scan_wine_test tests/usb_scan_wine_test.cpp tests/nothrow_new_control.cpp)
target_link_libraries(usb_scan_wine_test PRIVATE zc_usb_win GTest::gtest_main)
add_test(NAME usb_scan_wine COMMAND ${run_private} $<TARGET_FILE:usb_scan_wine_test>)

add_executable(usb_system_wine_test tests/usb_system_wine_test.cpp tests/nothrow_new_control.cpp)
target_link_libraries(usb_system_wine_test PRIVATE zc_usb_win GTest::gtest_main)
add_dependencies(usb_system_wine_test usb_test_data usb_test_entries7)
add_test(NAME usb_system_wine COMMAND ${run_private}
    --beside $<TARGET_FILE:usb_test_entries8> --beside $<TARGET_FILE:usb_test_entries7>
    $<TARGET_FILE:usb_system_wine_test>)
set_tests_properties(usb_system_wine PROPERTIES ENVIRONMENT ZC_USB_TEST_DATA=${usb_test_data})

# The carried payload, when it is the stand-in set: its library and its installer are
# the simulator's.
if(NOT ZC_PAYLOAD_DIR)
    add_executable(usb_carried_wine_test tests/usb_carried_wine_test.cpp)
    target_link_libraries(usb_carried_wine_test PRIVATE zc_usb_win GTest::gtest_main)
    add_dependencies(usb_carried_wine_test simctl NorvUSBInstaller)
    add_test(NAME usb_carried_wine COMMAND ${run_private}
        --beside $<TARGET_FILE:simctl> --beside $<TARGET_FILE:NorvUSBInstaller>
        $<TARGET_FILE:usb_carried_wine_test>)
    set_tests_properties(usb_carried_wine PROPERTIES
        ENVIRONMENT ZC_USB_PACKAGE_SOURCES=${CMAKE_SOURCE_DIR}/sim/driver-package)
endif()
