# prepare-driver-package's own sources, for the host tools and the native tree alike.
set(ZC_PREPARE_DRIVER_PACKAGE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/prepare_driver_package.cpp
    ${CMAKE_CURRENT_LIST_DIR}/vendor_archive.cpp
    ${CMAKE_CURRENT_LIST_DIR}/member_names.cpp
    ${CMAKE_CURRENT_LIST_DIR}/package.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ustar_writer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/package_proof.cpp)
