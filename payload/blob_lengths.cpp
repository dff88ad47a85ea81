// The length values of the blobs reached by name, taken from what was embedded.
#include "payload/blobs.h"

#include "driver_package_bz2.h"
#include "usb_library_bz2.h"

const std::uint32_t usb_library_bz2_len = usb_library_bz2_stored_size;
const std::uint32_t driver_package_bz2_len = driver_package_bz2_stored_size;
