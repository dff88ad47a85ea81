// The bootloader's checks of the FPGA and microcontroller images, and what a module
// reports after a restart into a good or a bad image.
#include "sim/inprocess/sim_door.h"
#include "sim/model/boot_check.h"
#include "sim/model/factory_image.h"
#include "sim/model/sim_bus.h"
#include "sim/tests/test_host.h"
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace {

// The stand-in microcontroller image sums to 0x4F0D8A61, so a correct host frames it
// as header 8A 61, slot 75 9F, trailer 75 9F.
Bytes StandinImage() {
    std::ifstream in(StandinMcuImagePath(), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes FrameAsTheProgramDoes(Bytes image, std::size_t slot) {
    image[slot] = 0x75;
    image[slot + 1] = 0x9F;
    Bytes framed{0x8A, 0x61};
    framed.insert(framed.end(), image.begin(), image.end());
    framed.push_back(0x75);
    framed.push_back(0x9F);
    return framed;
}

SimFlash FlashWith(const Bytes& framed) {
    SimFlash flash;
    SimFlashEraseAll(&flash);
    std::copy(framed.begin(), framed.end(), flash.bytes.begin() + kMcuImageAddress);
    return flash;
}

TEST(BootCheck, StandinImageFramedForEachBootloaderVersionIsGood) {
    const Bytes image = StandinImage();
    ASSERT_EQ(image.size(), kMcuImageLength) << StandinMcuImagePath();
    for (std::uint32_t version : {0u, 1u, 2u}) {
        const std::size_t slot = version == 2 ? 0xF7FC : image.size() - 512;
        const SimFlash flash = FlashWith(FrameAsTheProgramDoes(image, slot));
        EXPECT_EQ(SimCheckMcuImage(flash, version), SimImageState::Ok) << version;
        EXPECT_EQ(SimFlashImageVersion(flash), 0x0787);
        const std::uint32_t other = version == 2 ? 0 : 2;
        EXPECT_EQ(SimCheckMcuImage(flash, other), SimImageState::Bad) << "slot of " << other;
    }
}

TEST(BootCheck, WrongHeaderSlotOrTrailerIsBad) {
    const Bytes framed = SimFrameMcuImage(SimFactoryMcuImage(0x0787), 2);
    ASSERT_EQ(SimCheckMcuImage(FlashWith(framed), 2), SimImageState::Ok);
    for (std::size_t at : {std::size_t{0}, std::size_t{2 + 0xF7FD}, framed.size() - 1}) {
        Bytes broken = framed;
        broken[at] ^= 0x10;
        EXPECT_EQ(SimCheckMcuImage(FlashWith(broken), 2), SimImageState::Bad) << at;
    }
    Bytes body_changed = framed;
    body_changed[0x100] ^= 0x01;
    EXPECT_EQ(SimCheckMcuImage(FlashWith(body_changed), 2), SimImageState::Bad);
    SimFlash erased;
    SimFlashEraseAll(&erased);
    EXPECT_EQ(SimCheckMcuImage(erased, 2), SimImageState::Blank);
}

TEST(BootCheck, FpgaOkBlankAndBad) {
    SimFlash flash;
    SimFlashEraseAll(&flash);
    EXPECT_EQ(SimCheckFpgaImage(flash), SimImageState::Blank);
    const std::uint8_t sync[] = {0xAA, 0x99, 0x55, 0x66};
    std::copy(std::begin(sync), std::end(sync), flash.bytes.begin() + 16);
    EXPECT_EQ(SimCheckFpgaImage(flash), SimImageState::Ok);
    flash.bytes[3] = 0x00;
    EXPECT_EQ(SimCheckFpgaImage(flash), SimImageState::Bad);
    flash.bytes[3] = 0xFF;
    flash.bytes[19] = 0x65;
    EXPECT_EQ(SimCheckFpgaImage(flash), SimImageState::Bad);
}

class BootAfterRestart : public ::testing::Test {
  protected:
    void TearDown() override { SimDoorStop(); }

    // Writes the framed image as a correct host, restarts, waits for the return.
    void WriteAndRestart(const Bytes& framed) {
        TestHost host;
        ASSERT_EQ(WriteImageAsHost(&host, kMcuImageAddress, framed), 0);
        host.Send(0x30, kWrite, {0x01, 0xAA});
        SimDoorAdvanceUs(2000 * 1000);
        ASSERT_EQ(SimDoorBoots("A17"), 1);
    }
};

TEST_F(BootAfterRestart, GoodImageRunsItsVersion) {
    StartAndOpen("[A17]\nbootloader = 0x81\n");
    EXPECT_EQ(SimDoorVersionText("A17"), "00786");
    WriteAndRestart(SimFrameMcuImage(SimFactoryMcuImage(0x0787), 1));
    EXPECT_EQ(SimDoorBootResult("A17"), "fpga ok, mcu ok");
    EXPECT_EQ(SimDoorVersionText("A17"), "00787");
    EXPECT_EQ(SimDoorViolationCount(), 0);
}

TEST_F(BootAfterRestart, BadImageStaysInTheBootloader) {
    StartAndOpen("[A17]\n");
    Bytes framed = SimFrameMcuImage(SimFactoryMcuImage(0x0787), 2);
    framed[1] ^= 0x01;
    WriteAndRestart(framed);
    EXPECT_EQ(SimDoorBootResult("A17"), "fpga ok, mcu bad");
    EXPECT_EQ(SimDoorVersionText("A17"), "00000");
    const std::vector<SimEvent>& events = SimDoorEvents();
    EXPECT_EQ(events[events.size() - 2].line, "boot fpga ok, mcu bad");
    EXPECT_EQ(events.back().line, "return");

    ASSERT_EQ(usb_library.SI_Open(0, &DeviceHandle), 0);
    TestHost host;
    const ReadResult reply = host.Exchange(0x09, kRead);
    ASSERT_GE(reply.decoded.size(), 13u);
    EXPECT_EQ(std::string(reply.decoded.begin() + 7, reply.decoded.begin() + 12), "00000");
}

} // namespace
