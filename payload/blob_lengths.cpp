// The length values of the blobs reached by name, taken from what was embedded, and
// the check that the driver package fits the installation's decode buffer.
#include "payload/blobs.h"

#include "driver_package_bz2.h"
#include "usb_library_bz2.h"

namespace {
constexpr std::uint32_t kPackageBufferSize = 500000; // the installation's fixed buffer
constexpr std::uint32_t kDecodeStep = 4096; // the fixed-buffer decoder wants a whole step free
} // namespace

static_assert(kDecodeStep *
                      ((driver_package_bz2_decoded_size + kDecodeStep - 1) / kDecodeStep + 1) <=
                  kPackageBufferSize,
              "payload: the decoded driver package does not fit the 500000-byte buffer");

const std::uint32_t usb_library_bz2_len = usb_library_bz2_stored_size;
const std::uint32_t driver_package_bz2_len = driver_package_bz2_stored_size;
