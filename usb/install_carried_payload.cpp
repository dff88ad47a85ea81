// The installations with the blobs the program carries.
#include "payload/blobs.h"
#include "usb/usb_install.h"

std::int32_t InstallUsbLibrary() {
    return InstallUsbLibraryFrom(usb_library_bz2, usb_library_bz2_len);
}

std::int32_t InstallDriverPackage() {
    return InstallDriverPackageFrom(driver_package_bz2, driver_package_bz2_len);
}
