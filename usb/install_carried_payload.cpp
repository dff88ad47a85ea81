// The installations with the blobs the program carries.
#include "payload/blobs.h"
#include "usb/usb_install.h"

#include "driver_package_bz2.h"

namespace {
constexpr std::uint32_t kDecodeStep = 4096; // the fixed-buffer decoder wants a whole step free
} // namespace

static_assert(kDecodeStep *
                      ((driver_package_bz2_decoded_size + kDecodeStep - 1) / kDecodeStep + 1) <=
                  kDriverPackageBufferSize,
              "payload: the decoded driver package does not fit the 500000-byte buffer");

std::int32_t InstallUsbLibrary() {
    return InstallUsbLibraryFrom(usb_library_bz2, usb_library_bz2_len);
}

std::int32_t InstallDriverPackage() {
    return InstallDriverPackageFrom(driver_package_bz2, driver_package_bz2_len);
}
