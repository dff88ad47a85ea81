#include "sim/model/boot_check.h"
#include <algorithm>

namespace {

constexpr std::uint8_t kFpgaSync[] = {0xAA, 0x99, 0x55, 0x66};
constexpr std::uint32_t kFpgaDummyBytes = 16;
constexpr std::uint32_t kMcuFramedLength = kMcuImageLength + 4;

std::uint16_t WordAt(const SimFlash& flash, std::uint32_t address) {
    return static_cast<std::uint16_t>(flash.bytes[address] << 8 | flash.bytes[address + 1]);
}

bool AllErased(const SimFlash& flash, std::uint32_t address, std::uint32_t length) {
    return std::all_of(flash.bytes.begin() + address, flash.bytes.begin() + address + length,
                       [](std::uint8_t b) { return b == 0xFF; });
}

} // namespace

SimImageState SimCheckFpgaImage(const SimFlash& flash) {
    if (AllErased(flash, 0, kFpgaDummyBytes + sizeof kFpgaSync))
        return SimImageState::Blank;
    if (!AllErased(flash, 0, kFpgaDummyBytes) ||
        !std::equal(std::begin(kFpgaSync), std::end(kFpgaSync),
                    flash.bytes.begin() + kFpgaDummyBytes))
        return SimImageState::Bad;
    return SimImageState::Ok;
}

SimImageState SimCheckMcuImage(const SimFlash& flash, std::uint32_t bootloader_version) {
    if (AllErased(flash, kMcuImageAddress, kMcuFramedLength))
        return SimImageState::Blank;
    const std::uint32_t image = kMcuImageAddress + 2;
    const std::uint32_t slot = image + SimMcuSlotOffset(bootloader_version);
    std::uint32_t sum = 0;
    for (std::uint32_t at = image; at < image + kMcuImageLength; at += 2)
        sum += at == slot ? SimMcuSlotReserved(bootloader_version) : WordAt(flash, at);
    const auto low = static_cast<std::uint16_t>(sum);
    const auto negated = static_cast<std::uint16_t>(0u - sum);
    const bool framed = WordAt(flash, kMcuImageAddress) == low && WordAt(flash, slot) == negated &&
                        WordAt(flash, image + kMcuImageLength) == negated;
    return framed ? SimImageState::Ok : SimImageState::Bad;
}

SimBootResult SimRunBootChecks(const SimFlash& flash, std::uint32_t bootloader_version) {
    return {SimCheckFpgaImage(flash), SimCheckMcuImage(flash, bootloader_version)};
}

std::uint32_t SimMcuSlotOffset(std::uint32_t bootloader_version) {
    return bootloader_version <= 1 ? kMcuImageLength - 512 : 0xF7FC;
}

std::uint16_t SimMcuSlotReserved(std::uint32_t bootloader_version) {
    return bootloader_version <= 1 ? 0xFFFF : 0x0000;
}

std::uint16_t SimFlashImageVersion(const SimFlash& flash) {
    return WordAt(flash, kMcuImageAddress + 2 + kMcuVersionOffset);
}

const char* SimImageStateName(SimImageState state) {
    switch (state) {
    case SimImageState::Ok:
        return "ok";
    case SimImageState::Blank:
        return "blank";
    case SimImageState::Bad:
        break;
    }
    return "bad";
}

std::string SimBootResultText(const SimBootResult& result) {
    return std::string("fpga ") + SimImageStateName(result.fpga) + ", mcu " +
           SimImageStateName(result.mcu);
}
