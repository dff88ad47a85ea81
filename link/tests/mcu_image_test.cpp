#include "link/flash_commands.h"
#include "link/tests/echo_flash.h"
#include "payload/device_record.h"
#include "tests/support/progress_recorder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class McuImageTest : public testing::Test {
  protected:
    void SetUp() override {
        UseEchoFlash();
        recorded_progress.clear();
    }
    Bytes Flash(std::uint32_t address, std::uint32_t size) const {
        return Bytes(echo_flash.flash.begin() + address, echo_flash.flash.begin() + address + size);
    }
    std::int32_t Write(const Bytes& image, std::int32_t version) {
        std::uint32_t done = 0;
        testing::internal::CaptureStdout();
        const std::int32_t result = WriteMcuImage(
            DeviceHandle, 0xD0000, static_cast<std::uint32_t>(image.size()), image.data(),
            2 * static_cast<std::uint32_t>(image.size() + 4), done, version);
        trace = testing::internal::GetCapturedStdout();
        return result;
    }
    std::string trace;
};

TEST_F(McuImageTest, CarriedImageFramedForBootloaderVersion2) {
    const ImageEntry& entry = device_record.images[1];
    const Bytes image(entry.data, entry.data + entry.length);
    ASSERT_EQ(image.size(), 0xFBFCu);
    ASSERT_EQ(Write(image, 2), 0);
    EXPECT_EQ(trace.rfind("Checksum1: 4f0d8a61\r\nChecksum2: b0f2759f\r\n", 0), 0u) << trace;

    Bytes expected(0xFC00);
    std::copy(image.begin(), image.end(), expected.begin() + 2);
    expected[0] = 0x8A;
    expected[1] = 0x61;
    expected[2 + 0xF7FC] = 0x75;
    expected[2 + 0xF7FD] = 0x9F;
    expected[0xFBFE] = 0x75;
    expected[0xFBFF] = 0x9F;
    EXPECT_TRUE(Flash(0xD0000, 0xFC00) == expected);
    EXPECT_EQ(echo_flash.flash[0xD0000 + 0xFC00], 0xFF);
    EXPECT_EQ(echo_flash.erased, (std::vector<std::uint32_t>{0xD0000}));
    EXPECT_EQ(echo_flash.programs, 0xFC00 / 128);
    EXPECT_EQ(recorded_progress.back(), 95);
}

TEST_F(McuImageTest, Version0SlotLies512BytesBeforeTheEnd) {
    Bytes image(1024, 0x00);
    image[0] = 0x12;
    image[1] = 0x34;
    image[1023] = 0x01;       // S = 0x1234 + 0x0001
    image[1024 - 512] = 0xAB; // the slot's own bytes count in S before being replaced
    const std::uint32_t sum = 0x1234 + 0x0001 + 0xAB00;
    const std::uint32_t negated = 0u - sum;
    ASSERT_EQ(Write(image, 0), 0);
    const Bytes framed = Flash(0xD0000, 1028);
    EXPECT_EQ(framed[0] << 8 | framed[1], sum & 0xFFFF);
    EXPECT_EQ(framed[2 + 512] << 8 | framed[2 + 513], negated & 0xFFFF);
    EXPECT_EQ(framed[1026] << 8 | framed[1027], negated & 0xFFFF);
    EXPECT_EQ(framed[2 + 1023], 0x01);
}

TEST_F(McuImageTest, UnknownBootloaderVersionSendsNothing) {
    const Bytes image(0xFBFC, 0x11);
    EXPECT_EQ(Write(image, 3), -1);
    EXPECT_TRUE(scripted_usb.pieces.empty());
    EXPECT_EQ(trace.rfind("Checksum1: ", 0), 0u);
    EXPECT_EQ(trace.find("Checksum2"), std::string::npos);
}

TEST_F(McuImageTest, ImageTooSmallForItsSlotIsRefusedUnsent) {
    EXPECT_EQ(Write(Bytes(511, 0x11), 0), -1);
    EXPECT_EQ(Write(Bytes(0xF7FD, 0x11), 2), -1);
    EXPECT_TRUE(scripted_usb.pieces.empty());

    // S = 256 words of 0x0101 = 0x10100, N = 0xFFFEFF00; the slot is the first word.
    ASSERT_EQ(Write(Bytes(512, 0x01), 1), 0);
    EXPECT_EQ(Flash(0xD0000, 4), (Bytes{0x01, 0x00, 0xFF, 0x00}));
    EXPECT_EQ(Flash(0xD0000 + 514, 2), (Bytes{0xFF, 0x00}));
}

} // namespace
