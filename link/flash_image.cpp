#include "link/flash_commands.h"
#include "link/progress.h"
#include "link/trace.h"

#include <algorithm>

namespace {
constexpr std::uint32_t kHighestPassProgress = 95; // the update reports 97 to 100 itself

using ChunkCommand = std::int32_t (*)(SiHandle, std::uint32_t, std::uint32_t, const std::uint8_t*);

void ReportProgress(std::uint32_t total, std::uint32_t done) {
    // A zero total has no share to show; it must not divide.
    const std::uint64_t percent =
        total == 0 ? kHighestPassProgress : std::uint64_t{done} * 100 / total;
    SetProgress(static_cast<std::int32_t>(std::min<std::uint64_t>(percent, kHighestPassProgress)));
}

// Runs command over the image chunk by chunk; a failing chunk still counts as done.
std::int32_t ChunkPass(ChunkCommand command, SiHandle handle, std::uint32_t address,
                       std::uint32_t size, const std::uint8_t* data, std::uint32_t total,
                       std::uint32_t& done) {
    std::uint32_t offset = 0;
    while (offset < size) {
        const std::uint32_t length = std::min(size - offset, kFlashChunkSize);
        const std::int32_t result = command(handle, address + offset, length, data + offset);
        done += length;
        ReportProgress(total, done);
        if (result != 0)
            return result;
        offset += length;
    }
    return 0;
}
} // namespace

std::int32_t WriteFlashImage(SiHandle handle, std::uint32_t address, std::uint32_t size,
                             const std::uint8_t* data, std::uint32_t total, std::uint32_t& done) {
    for (std::uint64_t offset = 0; offset < size; offset += kEraseBlockSize) {
        const std::int32_t result =
            EraseFlashBlock(handle, address + static_cast<std::uint32_t>(offset));
        if (result != 0)
            return result;
    }
    std::int32_t result = ChunkPass(ProgramFlashChunk, handle, address, size, data, total, done);
    if (result != 0)
        return result;
    Trace("\n");
    result = ChunkPass(VerifyFlashChunk, handle, address, size, data, total, done);
    if (result != 0)
        return result;
    Trace("\n");
    return 0;
}
