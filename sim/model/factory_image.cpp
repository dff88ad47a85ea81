#include "sim/model/factory_image.h"
#include "sim/model/boot_check.h"
#include <algorithm>

namespace {

// 16 dummy bytes, the sync word, then a short stand-in for the configuration data;
// the bootloader looks at the header only.
constexpr std::uint8_t kFpgaHeader[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                        0xAA, 0x99, 0x55, 0x66, 0x20, 0x00, 0x00, 0x00};

void PutWord(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t word) {
    bytes[at] = static_cast<std::uint8_t>(word >> 8);
    bytes[at + 1] = static_cast<std::uint8_t>(word);
}

} // namespace

std::vector<std::uint8_t> SimFactoryMcuImage(std::uint16_t version) {
    std::vector<std::uint8_t> image(kMcuImageLength, 0xFF);
    image[0] = 0x02; // a long jump, as 8051 code begins
    image[1] = 0x00;
    image[2] = 0x0E;
    for (std::uint32_t i = 3; i < 0x4000; ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    PutWord(image, SimMcuSlotOffset(2), SimMcuSlotReserved(2));
    PutWord(image, SimMcuSlotOffset(0), SimMcuSlotReserved(0));
    PutWord(image, kMcuVersionOffset, version);
    return image;
}

std::vector<std::uint8_t> SimFrameMcuImage(const std::vector<std::uint8_t>& image,
                                           std::uint32_t bootloader_version) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < image.size(); ++i)
        sum += i % 2 == 0 ? image[i] * 256u : image[i];
    const std::uint32_t negated = 0u - sum;
    std::vector<std::uint8_t> framed(image.size() + 4);
    std::copy(image.begin(), image.end(), framed.begin() + 2);
    PutWord(framed, 0, sum);
    PutWord(framed, 2 + SimMcuSlotOffset(bootloader_version), negated);
    PutWord(framed, image.size() + 2, negated);
    return framed;
}

void SimSeedFactoryFlash(SimFlash* flash, std::uint16_t version, std::uint32_t bootloader_version) {
    SimFlashEraseAll(flash);
    std::copy(std::begin(kFpgaHeader), std::end(kFpgaHeader), flash->bytes.begin());
    const std::vector<std::uint8_t> framed =
        SimFrameMcuImage(SimFactoryMcuImage(version), bootloader_version);
    std::copy(framed.begin(), framed.end(), flash->bytes.begin() + kMcuImageAddress);
}
