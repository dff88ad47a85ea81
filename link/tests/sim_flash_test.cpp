// Whole images written to the simulated module, with the exchanges counted by kind.
#include "link/flash_commands.h"
#include "link/link.h"
#include "link/tests/scripted_usb.h"
#include "payload/bz2_decoder.h"
#include "payload/device_record.h"
#include "sim/inprocess/sim_door.h"
#include "tests/support/progress_recorder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct RequestCounts {
    int erase = 0;
    int program = 0;
    int verify = 0; // read command and read-back, two per chunk
    int other = 0;
};

RequestCounts counts;
Bytes unsplit;
SiWriteFn door_write;

SiStatus USB_CALL CountingWrite(SiHandle handle, const void* buffer, std::uint32_t count,
                                std::uint32_t* written, void* overlapped) {
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    unsplit.insert(unsplit.end(), bytes, bytes + count);
    for (const Bytes& body : TakeRequestBodies(unsplit)) {
        if (body.size() < 7 || body[6] != FlashPort) {
            ++counts.other;
        } else if (body[1] == AccessRead || body[8] == kFlashRead) {
            ++counts.verify;
        } else if (body[8] == kFlashErase) {
            ++counts.erase;
        } else if (body[8] == kFlashProgram) {
            ++counts.program;
        } else {
            ++counts.other;
        }
    }
    return door_write(handle, buffer, count, written, overlapped);
}

class SimFlashTest : public testing::Test {
  protected:
    void TearDown() override { SimDoorStop(); }

    // Plugs module A17, opens it and unlocks its flash; requests are counted from here.
    void Start(const std::string& extra_config = "") {
        std::string error;
        ASSERT_EQ(SimDoorStart("[A17]\n" + extra_config, &error), 0) << error;
        SimDoorFillUsbLibrary();
        ASSERT_EQ(usb_library.SI_Open(0, &DeviceHandle), 0);
        usb_library.SI_SetTimeouts(0xFFFFFF, 0xFFFFFF);
        ASSERT_EQ(UnlockFlash(DeviceHandle), 0);
        counts = RequestCounts{};
        unsplit.clear();
        door_write = usb_library.SI_Write;
        usb_library.SI_Write = CountingWrite;
        exchanges_before = SimDoorExchangeCount();
        recorded_progress.clear();
    }
    Bytes Flash(std::uint32_t address, std::uint32_t size) {
        const auto flash = SimDoorFlash("A17");
        return Bytes(flash.begin() + address, flash.begin() + address + size);
    }
    std::uint64_t Exchanges() const { return SimDoorExchangeCount() - exchanges_before; }

    std::uint64_t exchanges_before = 0;
};

Bytes DecodedFlashImage() {
    const ImageEntry& entry = device_record.images[0];
    std::uint32_t length = 0;
    std::uint8_t* decoded = Bz2DecodeToHeap(entry.data, entry.length, &length);
    if (decoded == nullptr)
        return {};
    Bytes image(decoded, decoded + length);
    std::free(decoded);
    return image;
}

Bytes CarriedMcuImage() {
    const ImageEntry& entry = device_record.images[1];
    return Bytes(entry.data, entry.data + entry.length);
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

// First offset from `from` whose byte has bit 0 clear, so a stuck bit there shows.
std::uint32_t EvenByteFrom(const Bytes& bytes, std::uint32_t from) {
    while ((bytes.at(from) & 1) != 0)
        ++from;
    return from;
}

TEST_F(SimFlashTest, FlashImageLandsWithTheMinimumOfExchanges) {
    const Bytes image = DecodedFlashImage();
    ASSERT_EQ(image.size(), 802570u);
    Start();
    const auto size = static_cast<std::uint32_t>(image.size());
    std::uint32_t done = 0;
    testing::internal::CaptureStdout();
    const std::int32_t result =
        WriteFlashImage(DeviceHandle, 0, size, image.data(), 2 * size, done);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(result, 0);
    EXPECT_TRUE(Flash(0, size) == image);
    EXPECT_EQ(SimDoorViolationCount(), 0);
    EXPECT_EQ(counts.erase, 13);
    EXPECT_EQ(counts.program, 6271);
    EXPECT_EQ(counts.verify, 12542);
    EXPECT_EQ(counts.other, 0);
    EXPECT_EQ(Exchanges(), 13u + 6271 + 12542) << "as the module counted them";
    EXPECT_EQ(done, 2 * size);
    EXPECT_EQ(recorded_progress.size(), 12542u);
    EXPECT_EQ(recorded_progress.back(), 95);
    std::printf("flash image: %d erase, %d program, %d verify exchanges\n", counts.erase,
                counts.program, counts.verify);
}

TEST_F(SimFlashTest, McuImageLandsFramedAndBoots) {
    const Bytes image = CarriedMcuImage();
    Start();
    const std::int32_t version = ReadBootloaderVersion(DeviceHandle);
    ASSERT_EQ(version, 2);
    counts = RequestCounts{};
    const std::uint64_t before = SimDoorExchangeCount();
    std::uint32_t done = 0;
    const auto size = static_cast<std::uint32_t>(image.size());
    testing::internal::CaptureStdout();
    const std::int32_t result =
        WriteMcuImage(DeviceHandle, 0xD0000, size, image.data(), 2 * (size + 4), done, version);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(result, 0);

    Bytes framed(size + 4);
    std::copy(image.begin(), image.end(), framed.begin() + 2);
    framed[0] = 0x8A;
    framed[1] = 0x61;
    framed[2 + 0xF7FC] = framed[size + 2] = 0x75;
    framed[2 + 0xF7FD] = framed[size + 3] = 0x9F;
    EXPECT_TRUE(Flash(0xD0000, size + 4) == framed);
    EXPECT_EQ(SimDoorViolationCount(), 0);
    EXPECT_EQ(counts.erase, 1);
    EXPECT_EQ(counts.program, 504);
    EXPECT_EQ(counts.verify, 1008);
    EXPECT_EQ(SimDoorExchangeCount() - before, 1u + 504 + 1008);
    EXPECT_EQ(done, 2 * (size + 4));
    std::printf("mcu image: %d erase, %d program, %d verify exchanges\n", counts.erase,
                counts.program, counts.verify);

    // The module's own bootloader accepts the framing and runs the new version.
    const std::uint8_t restart[] = {0x01, 0xAA};
    ASSERT_EQ(LinkSend(DeviceHandle, FlashPort, AccessWrite, 2, restart), 0);
    SimDoorAdvanceUs(10'000'000);
    EXPECT_EQ(SimDoorBoots("A17"), 1);
    EXPECT_EQ(SimDoorBootResult("A17"), "fpga ok, mcu ok");
    EXPECT_EQ(SimDoorVersionText("A17"), "00787");
}

TEST_F(SimFlashTest, McuImageForBootloaderVersion1Boots) {
    const Bytes image = CarriedMcuImage();
    Start("bootloader = 0x01\n");
    const std::int32_t version = ReadBootloaderVersion(DeviceHandle);
    ASSERT_EQ(version, 1);
    std::uint32_t done = 0;
    const auto size = static_cast<std::uint32_t>(image.size());
    testing::internal::CaptureStdout();
    ASSERT_EQ(
        WriteMcuImage(DeviceHandle, 0xD0000, size, image.data(), 2 * (size + 4), done, version), 0);
    testing::internal::GetCapturedStdout();
    const std::uint8_t restart[] = {0x01, 0xAA};
    ASSERT_EQ(LinkSend(DeviceHandle, FlashPort, AccessWrite, 2, restart), 0);
    SimDoorAdvanceUs(10'000'000);
    EXPECT_EQ(SimDoorBootResult("A17"), "fpga ok, mcu ok");
    EXPECT_EQ(SimDoorViolationCount(), 0);
}

TEST_F(SimFlashTest, StuckBitInsideEitherImageIsCaughtByVerify) {
    const Bytes flash_image = DecodedFlashImage();
    const std::uint32_t in_flash = EvenByteFrom(flash_image, 0x54321);
    const Bytes mcu_image = CarriedMcuImage();
    const std::uint32_t in_mcu = 0xD0000 + 2 + EvenByteFrom(mcu_image, 0x9ABC);

    const struct {
        std::uint32_t address;
        bool mcu;
    } cases[] = {{in_flash, false}, {in_mcu, true}};
    for (const auto& stuck : cases) {
        Start("fault = stuck-bit@" + Hex(stuck.address) + "\n");
        std::uint32_t done = 0;
        testing::internal::CaptureStdout();
        const std::int32_t result =
            stuck.mcu
                ? WriteMcuImage(DeviceHandle, 0xD0000, static_cast<std::uint32_t>(mcu_image.size()),
                                mcu_image.data(), 1, done, 2)
                : WriteFlashImage(DeviceHandle, 0, static_cast<std::uint32_t>(flash_image.size()),
                                  flash_image.data(), 1, done);
        const std::string trace = testing::internal::GetCapturedStdout();
        EXPECT_EQ(result, -1);
        char line[32];
        std::snprintf(line, sizeof line, "%8x got: ", stuck.address);
        EXPECT_NE(trace.find(line), std::string::npos) << line;
        // The pass ends with the chunk that held the stuck byte.
        const std::uint32_t start = stuck.mcu ? 0xD0000 : 0;
        EXPECT_EQ(counts.verify, 2 * static_cast<int>((stuck.address - start) / 128 + 1));
        SimDoorStop();
    }
}

} // namespace
