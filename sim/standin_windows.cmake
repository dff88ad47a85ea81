# The Windows side of the stand-in world: the stand-in SiUSBXp.dll, the stand-in
# driver installer NorvUSBInstaller.exe and simctl.exe, all running the model on the
# bus kept in the state directory; the driver package; their tests under Wine.

# The bus as this process uses it: state directory, lock, real clock, registry.
add_library(zc_sim_session STATIC
    windows/bus_session_win.cpp windows/registry_presence_win.cpp windows/state_dir_win.cpp)
target_link_libraries(zc_sim_session PUBLIC zc_sim_model advapi32)
add_library(zc_sim_commands STATIC ctl/bus_commands_win.cpp)
target_link_libraries(zc_sim_commands PUBLIC zc_sim_session)

# The two programs the payload carries: stripped (the package must fit its decode
# buffer), without link time stamps (the payload's bytes depend on the sources only).
add_library(SiUSBXp SHARED dll/siusbxp.cpp dll/timer_thread.cpp dll/siusbxp.def)
set_target_properties(SiUSBXp PROPERTIES PREFIX "")
target_link_libraries(SiUSBXp PRIVATE zc_sim_session)
target_link_options(SiUSBXp PRIVATE -s -Wl,--no-insert-timestamp)
add_executable(NorvUSBInstaller WIN32 ctl/norv_usb_installer.cpp)
target_link_libraries(NorvUSBInstaller PRIVATE zc_sim_commands)
target_link_options(NorvUSBInstaller PRIVATE -s -Wl,--no-insert-timestamp)
if(NOT ZC_STANDIN_ONLY)
    add_executable(simctl ctl/simctl.cpp)
    target_link_libraries(simctl PRIVATE zc_sim_commands)
endif()

# The payload's two files. The package is a ustar archive that comes out the same on
# every machine: members in a fixed order, directories before their members, owner
# 0, modes 644 and 755, time 0.
set(package_dir ${CMAKE_CURRENT_SOURCE_DIR}/driver-package)
set(package_members NorvUSB.inf setup.ini siusbxp.cat
    x86/SiUSBXp.sys x86/SiLib.sys x64/SiUSBXp.sys x64/SiLib.sys)
list(TRANSFORM package_members PREPEND ${package_dir}/ OUTPUT_VARIABLE package_files)
add_custom_command(OUTPUT ${ZC_STANDIN_DIR}/SiUSBXp.dll
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:SiUSBXp> ${ZC_STANDIN_DIR}/SiUSBXp.dll
    DEPENDS SiUSBXp)
add_custom_command(OUTPUT ${ZC_STANDIN_DIR}/driver_package.tar
    COMMAND tar --format=ustar --sort=name --owner=0 --group=0 --numeric-owner --mtime=@0
            --mode=a=rX,u+w -cf ${ZC_STANDIN_DIR}/driver_package.tar
            -C $<TARGET_FILE_DIR:NorvUSBInstaller> NorvUSBInstaller.exe
            -C ${package_dir} NorvUSB.inf setup.ini siusbxp.cat x86 x64
    DEPENDS NorvUSBInstaller ${package_files}
    COMMENT "packing the stand-in driver package")
add_custom_target(standin_payload ALL
    DEPENDS ${ZC_STANDIN_DIR}/SiUSBXp.dll ${ZC_STANDIN_DIR}/driver_package.tar)

# Under Wine, each case alone in its own copy of the prefix and state directory.
if(ZC_TESTS)
    add_executable(sim_standin_wine_test tests/standin_wine_test.cpp)
    target_link_libraries(sim_standin_wine_test PRIVATE
        zc_sim_test_host zc_sim_session zc_payload setupapi GTest::gtest_main)
    add_dependencies(sim_standin_wine_test SiUSBXp simctl)
    set(cases LibraryLoadsFromTheSystemDirectoryAndServesTheModule
              SimctlPutsModulesWhereSetupApiFindsThem
              UnplugDeletesTheKeyAgainWhenAScanRecreatedIt
              RestartIsSeenLeavingAndReturningByA10msPoll)
    if(NOT ZC_PAYLOAD_DIR) # the carried package holds the stand-in installer
        list(APPEND cases InstallerOfTheCarriedPackageBindsTheDriver)
    endif()
    foreach(case ${cases})
        add_test(NAME sim_wine_${case}
            COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-run-private
                    --system $<TARGET_FILE:SiUSBXp> --beside $<TARGET_FILE:simctl>
                    $<TARGET_FILE:sim_standin_wine_test> --gtest_filter=StandinWorld.${case})
        set_tests_properties(sim_wine_${case} PROPERTIES TIMEOUT 300)
    endforeach()
endif()
