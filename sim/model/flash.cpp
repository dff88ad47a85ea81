#include "sim/model/flash.h"
#include <algorithm>
#include <bit>

namespace {

void MarkChanged(SimFlash* flash, std::uint32_t begin, std::uint32_t end) {
    if (!SimFlashChanged(*flash)) {
        flash->changed_begin = begin;
        flash->changed_end = end;
        return;
    }
    flash->changed_begin = std::min(flash->changed_begin, begin);
    flash->changed_end = std::max(flash->changed_end, end);
}

} // namespace

void SimFlashEraseAll(SimFlash* flash) {
    flash->bytes.assign(kFlashSize, 0xFF);
    MarkChanged(flash, 0, kFlashSize);
}

void SimFlashEraseBlock(SimFlash* flash, std::uint32_t address) {
    const std::uint32_t start = address % kFlashSize / kFlashBlockSize * kFlashBlockSize;
    std::fill_n(flash->bytes.begin() + start, kFlashBlockSize, std::uint8_t{0xFF});
    MarkChanged(flash, start, start + kFlashBlockSize);
}

std::uint32_t SimFlashProgram(SimFlash* flash, std::uint32_t address,
                              std::span<const std::uint8_t> data) {
    const std::uint32_t page = address % kFlashSize / kFlashPageSize * kFlashPageSize;
    std::uint32_t offset = address % kFlashPageSize;
    std::uint32_t raised_bits = 0;
    MarkChanged(flash, page, page + kFlashPageSize);
    for (std::uint8_t byte : data) {
        const std::uint32_t at = page + offset;
        std::uint8_t& cell = flash->bytes[at];
        raised_bits += static_cast<std::uint32_t>(
            std::popcount(static_cast<std::uint8_t>(byte & static_cast<std::uint8_t>(~cell))));
        std::uint8_t result = cell & byte;
        if (std::find(flash->stuck_bits.begin(), flash->stuck_bits.end(), at) !=
            flash->stuck_bits.end())
            result |= cell & 0x01;
        cell = result;
        offset = (offset + 1) % kFlashPageSize;
    }
    return raised_bits;
}

void SimFlashRead(const SimFlash& flash, std::uint32_t address, std::span<std::uint8_t> out) {
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = flash.bytes[(address + i) % kFlashSize];
}
