#include "link/flash_commands.h"
#include "link/trace.h"
#include "update/update_steps.h"

#include <cstdlib>

std::int32_t WriteImages(const ImageEntry images[kMaxImages], UpdateRun* run) {
    for (std::int32_t i = 0; i < run->image_count; ++i) {
        const ImageEntry& entry = images[i];
        UpdateImage& image = run->images[i];
        const std::int32_t result =
            (entry.flags & IMAGE_CHECKSUMMED)
                ? WriteMcuImage(DeviceHandle, entry.flash_address, image.size, image.bytes,
                                run->work_total, run->work_done, run->bootloader_version)
                : WriteFlashImage(DeviceHandle, entry.flash_address, image.size, image.bytes,
                                  run->work_total, run->work_done);
        std::free(image.decoded);
        image.decoded = nullptr;
        image.bytes = nullptr;
        Trace("%d %d\r\n", static_cast<int>(run->work_total), static_cast<int>(run->work_done));
        TraceFlush();
        if (result != 0)
            return -1;
    }
    return 0;
}
