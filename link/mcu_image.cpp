#include "link/flash_commands.h"
#include "link/trace.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace {
constexpr std::uint32_t kHeaderSize = 2;    // S before the image
constexpr std::uint32_t kFramingSize = 4;   // S before, N after
constexpr std::uint32_t kWorkingSpare = 8;  // the working buffer's room beyond the image
constexpr std::uint32_t kSlotFromEnd = 512; // bootloader versions 0 and 1
constexpr std::uint32_t kSlotVersion2 = 0xF7FC;

// Finds the image offset of the 2-byte slot that carries N; false when the bootloader
// version is unknown or the image is too small to hold the slot.
bool FindChecksumSlot(std::uint32_t size, std::int32_t bootloader_version, std::uint32_t& slot) {
    if (bootloader_version <= 1) {
        slot = size - kSlotFromEnd;
        return size >= kSlotFromEnd;
    }
    slot = kSlotVersion2;
    return bootloader_version == 2 && size >= kSlotVersion2 + 2;
}

// The image read as big-endian 16-bit words; a last odd byte counts as a high byte.
std::uint32_t WordSum(const std::uint8_t* data, std::uint32_t size) {
    std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i < size; ++i)
        sum += i % 2 == 0 ? std::uint32_t{data[i]} << 8 : data[i];
    return sum;
}

void PutWord(std::uint8_t* out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value >> 8);
    out[1] = static_cast<std::uint8_t>(value);
}
} // namespace

std::int32_t WriteMcuImage(SiHandle handle, std::uint32_t address, std::uint32_t size,
                           const std::uint8_t* data, std::uint32_t total, std::uint32_t& done,
                           std::int32_t bootloader_version) {
    if (size > UINT32_MAX - kWorkingSpare)
        return -1;
    const std::unique_ptr<std::uint8_t[]> framed(new (std::nothrow)
                                                     std::uint8_t[size + kWorkingSpare]);
    if (!framed)
        return -1;
    std::memcpy(framed.get() + kHeaderSize, data, size);

    const std::uint32_t sum = WordSum(data, size);
    PutWord(framed.get(), sum);
    Trace("Checksum1: %04x\r\n", static_cast<unsigned>(sum));

    const std::uint32_t negated = 0u - sum;
    std::uint32_t slot = 0;
    if (!FindChecksumSlot(size, bootloader_version, slot))
        return -1;
    PutWord(framed.get() + kHeaderSize + slot, negated);
    PutWord(framed.get() + kHeaderSize + size, negated);
    Trace("Checksum2: %04x\r\n", static_cast<unsigned>(negated));

    return WriteFlashImage(handle, address, size + kFramingSize, framed.get(), total, done);
}
