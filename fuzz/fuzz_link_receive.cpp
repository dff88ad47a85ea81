// Feeds LinkReceive arbitrary chunk sequences and capacities through a library whose
// reads hand out the input. Input: two bytes of capacity (little-endian), then chunks,
// each a count byte followed by up to 64 bytes; a count of 0x80 or more is a failing
// read. Counts above 64 are reported as the library said them. Reads fail once the
// input runs out, so every receive ends.
#include "link/link.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {
const std::uint8_t* input;
std::size_t input_left;

SiStatus USB_CALL ScriptedRead(SiHandle, void* buffer, std::uint32_t to_read,
                               std::uint32_t* returned, void*) {
    if (input_left == 0)
        return 0x13;
    const std::uint8_t count = *input++;
    --input_left;
    if (count >= 0x80)
        return count;
    const std::size_t copied = std::min<std::size_t>({count, to_read, input_left});
    std::memcpy(buffer, input, copied);
    input += copied;
    input_left -= copied;
    *returned = count;
    return 0;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::uint32_t capacity = data[0] | std::uint32_t{data[1]} << 8;
    input = data + 2;
    input_left = size - 2;
    usb_library.SI_Read = ScriptedRead;
    // Exactly capacity bytes, so any store beyond it is caught.
    std::vector<std::uint8_t> buffer(capacity);
    const std::int32_t result = LinkReceive(nullptr, capacity, buffer.data());
    if (result >= 0 && static_cast<std::uint32_t>(result) + 2 > capacity)
        __builtin_trap(); // the checksum and end marker lie inside the buffer
    return 0;
}
