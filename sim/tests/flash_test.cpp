// The SPI flash: block erase, page program as AND with the page wrap, read-back.
#include "sim/model/flash.h"
#include <gtest/gtest.h>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

SimFlash ZeroFlash() {
    SimFlash flash;
    flash.bytes.assign(kFlashSize, 0x00);
    return flash;
}

TEST(SimFlash, EraseSetsTheWholeBlockOfTheAddressToFf) {
    SimFlash flash = ZeroFlash();
    SimFlashEraseBlock(&flash, 0xD1234);
    EXPECT_EQ(flash.bytes[0xCFFFF], 0x00);
    EXPECT_EQ(flash.bytes[0xD0000], 0xFF);
    EXPECT_EQ(flash.bytes[0xDFFFF], 0xFF);
    EXPECT_EQ(flash.bytes[0xE0000], 0x00);
}

TEST(SimFlash, ProgramAndsAndCountsRaisedBits) {
    SimFlash flash;
    SimFlashEraseAll(&flash);
    EXPECT_EQ(SimFlashProgram(&flash, 0x100, Bytes{0xF0, 0x3C}), 0u);
    EXPECT_EQ(SimFlashProgram(&flash, 0x100, Bytes{0x3F, 0xFF}), 4u + 4u);
    EXPECT_EQ(flash.bytes[0x100], 0x30);
    EXPECT_EQ(flash.bytes[0x101], 0x3C);
}

TEST(SimFlash, ProgramWrapsInsideItsPage) {
    SimFlash flash;
    SimFlashEraseAll(&flash);
    SimFlashProgram(&flash, 0x12FE, Bytes{0x01, 0x02, 0x03, 0x04});
    EXPECT_EQ(flash.bytes[0x12FE], 0x01);
    EXPECT_EQ(flash.bytes[0x12FF], 0x02);
    EXPECT_EQ(flash.bytes[0x1200], 0x03);
    EXPECT_EQ(flash.bytes[0x1201], 0x04);
    EXPECT_EQ(flash.bytes[0x1300], 0xFF);
}

TEST(SimFlash, ReadBackWrapsAtTheEndOfTheFlash) {
    SimFlash flash = ZeroFlash();
    flash.bytes[kFlashSize - 1] = 0xAB;
    flash.bytes[0] = 0xCD;
    Bytes out(2);
    SimFlashRead(flash, kFlashSize - 1, out);
    EXPECT_EQ(out, (Bytes{0xAB, 0xCD}));
}

TEST(SimFlash, StuckBitStaysOne) {
    SimFlash flash;
    SimFlashEraseAll(&flash);
    flash.stuck_bits.push_back(0x40);
    SimFlashProgram(&flash, 0x3F, Bytes{0x00, 0x00, 0x00});
    EXPECT_EQ(flash.bytes[0x3F], 0x00);
    EXPECT_EQ(flash.bytes[0x40], 0x01);
    EXPECT_EQ(flash.bytes[0x41], 0x00);
}

} // namespace
