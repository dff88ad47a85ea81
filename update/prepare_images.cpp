#include "link/trace.h"
#include "payload/bz2_decoder.h"
#include "update/update_steps.h"

#include <cstdlib>

std::int32_t PrepareImages(const ImageEntry images[kMaxImages], UpdateRun* run) {
    for (std::int32_t i = 0; i < kMaxImages && images[i].data != nullptr; ++i) {
        const ImageEntry& entry = images[i];
        UpdateImage& image = run->images[i];
        image = {entry.data, entry.length, nullptr};
        if (entry.flags & IMAGE_COMPRESSED) {
            std::uint32_t decoded_size = 0;
            image.decoded = Bz2DecodeToHeap(entry.data, entry.length, &decoded_size);
            if (image.decoded == nullptr) {
                // Nothing may be written from a buffer that does not exist.
                Trace("%5x %p %u %02x -> not decodable\r\n",
                      static_cast<unsigned>(entry.flash_address),
                      static_cast<const void*>(entry.data), static_cast<unsigned>(entry.length),
                      static_cast<unsigned>(entry.flags));
                TraceFlush();
                return -1;
            }
            image.bytes = image.decoded;
            image.size = decoded_size;
        }
        run->image_count = i + 1;
        Trace("%5x %p %u %02x -> %u\r\n", static_cast<unsigned>(entry.flash_address),
              static_cast<const void*>(entry.data), static_cast<unsigned>(entry.length),
              static_cast<unsigned>(entry.flags), static_cast<unsigned>(image.size));
        TraceFlush();
        // The checksum framing adds 4 bytes, written and verified.
        run->work_total += 2 * image.size + ((entry.flags & IMAGE_CHECKSUMMED) ? 8 : 0);
    }
    return 0;
}

void ReleaseImages(UpdateRun* run) {
    for (UpdateImage& image : run->images) {
        std::free(image.decoded);
        image.decoded = nullptr;
    }
}
