#include "payload/device_record.h"

#include "flash_image_bz2.h"
#include "mcu_image.h"

namespace {
constexpr std::uint32_t kFlashImageAddress = 0x0;
constexpr std::uint32_t kMcuImageAddress = 0xD0000;
constexpr std::uint32_t kMcuSlotV2 = 0xF7FC; // checksum slot for bootloader version 2
} // namespace

static_assert(kFlashImageAddress + flash_image_bz2_decoded_size <= kMcuImageAddress,
              "payload: the flash image runs into the microcontroller image's address");
static_assert(mcu_image_stored_size >= kMcuSlotV2 + 2 && mcu_image_stored_size >= 512,
              "payload: the microcontroller image is too short for its checksum slots");

const DeviceRecord device_record = {
    "QTV40z6",
    0x42,
    {0x0E, 0x0F, 0x12, 0x13, 0x1C, 0x1B, 0x1D, kSubtypeListEnd},
    0x0787,
    "HDMI-to-SDI Converter",
    {
        {kFlashImageAddress, flash_image_bz2, flash_image_bz2_stored_size, IMAGE_COMPRESSED},
        {kMcuImageAddress, mcu_image, mcu_image_stored_size, IMAGE_CHECKSUMMED},
        {0, nullptr, 0, 0},
    },
};
