// Register and flash commands on a scripted library: requests, and the replies that
// fail or fall short. Whole passes run against the simulated module.
#include "link/flash_commands.h"
#include "link/link.h"
#include "link/tests/scripted_usb.h"
#include "tests/support/progress_recorder.h"

#include <gtest/gtest.h>

namespace {

class FlashCommandsTest : public testing::Test {
  protected:
    void SetUp() override {
        UseScriptedUsb();
        LinkSetTimeouts(5); // as after the open; the erase changes it
        LinkSequence = 0x10;
    }
};

TEST_F(FlashCommandsTest, BootloaderVersionIsTheLowSevenBitsOfPosition7) {
    QueueReply(ReplyBody({0x82}));
    QueueReply({0x02, 0x00, 0x0F, 0x00, 0x00, 0x00}); // ends at position 6
    testing::internal::CaptureStdout();
    EXPECT_EQ(ReadBootloaderVersion(DeviceHandle), 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Reading from register 0x41\n");
    EXPECT_EQ(SentBodies(), (std::vector<Bytes>{RequestBody(AccessRead, 0x10, 0x41, {})}));

    testing::internal::CaptureStdout();
    EXPECT_EQ(ReadBootloaderVersion(DeviceHandle), -2) << "too short to hold the version";
    EXPECT_EQ(ReadBootloaderVersion(DeviceHandle), -2) << "no reply";
    scripted_usb.writes_before_failure = 0;
    EXPECT_EQ(ReadBootloaderVersion(DeviceHandle), -1);
    testing::internal::GetCapturedStdout();
}

TEST_F(FlashCommandsTest, UnlockWritesThreeToRegister42) {
    QueueReply(ReplyBody({0x00}));
    testing::internal::CaptureStdout();
    EXPECT_EQ(UnlockFlash(DeviceHandle), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unlocking spiflash for write access.\n");
    EXPECT_EQ(SentBodies(), (std::vector<Bytes>{RequestBody(AccessWrite, 0x10, 0x42, {0x03})}));

    testing::internal::CaptureStdout();
    EXPECT_EQ(UnlockFlash(DeviceHandle), -2);
    scripted_usb.writes_before_failure = 0;
    EXPECT_EQ(UnlockFlash(DeviceHandle), -1);
    testing::internal::GetCapturedStdout();
}

// The erase's reply alone waits the erase's longer deadline; one that never comes ends it.
TEST_F(FlashCommandsTest, EraseFailsOnlyWhenItsReplyNeverComes) {
    scripted_usb.read_status = SI_READ_TIMED_OUT;
    testing::internal::CaptureStdout();
    EXPECT_EQ(EraseFlashBlock(DeviceHandle, 0x020000), -0x0D);
    const Bytes data(128, 0x5A);
    EXPECT_EQ(ProgramFlashChunk(DeviceHandle, 0x010000, 128, data.data()), -0x0D);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Erasing address: 020000\ndeadline passed: no erase reply within 10 s\n"
              "read -13 bytes: \ndeadline passed: no program reply within 5 s\n");
    EXPECT_EQ(scripted_usb.read_timeouts_ms, (std::vector<std::uint32_t>{5000, 10000, 5000}));
    EXPECT_EQ(scripted_usb.write_timeout_ms, 5000u);
}

TEST_F(FlashCommandsTest, ChunkOver128BytesIsRefusedUnsent) {
    const Bytes data(129, 0x5A);
    EXPECT_EQ(ProgramFlashChunk(DeviceHandle, 0, 129, data.data()), -1);
    EXPECT_TRUE(scripted_usb.pieces.empty());
}

TEST_F(FlashCommandsTest, FailedChunkStillCountsAsDone) {
    const Bytes data(128, 0x5A);
    recorded_progress.clear();
    std::uint32_t done = 0;
    QueueReply(ReplyBody({0x04})); // the erase's reply, then silence
    testing::internal::CaptureStdout();
    EXPECT_EQ(WriteFlashImage(DeviceHandle, 0, 128, data.data(), 1000, done), -0x13);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(done, 128u);
    EXPECT_EQ(recorded_progress, (std::vector<std::int32_t>{12}));
}

TEST_F(FlashCommandsTest, ShortReadBackIsAVerifyFailure) {
    const Bytes data{0x01, 0x02, 0x03, 0x04};
    const Bytes three{0x84, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x02, 0x03};
    const Bytes four{0x84, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x02, 0x03, 0x04};

    QueueReply(ReplyBody({0x04}));
    QueueReply(ReplyBody(three)); // data at positions 12 to 14 only
    testing::internal::CaptureStdout();
    EXPECT_EQ(VerifyFlashChunk(DeviceHandle, 0, 4, data.data()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error -1\n");

    QueueReply(ReplyBody({0x04}));
    QueueReply(ReplyBody(four));
    EXPECT_EQ(VerifyFlashChunk(DeviceHandle, 0, 4, data.data()), 0);

    QueueReply(ReplyBody({0x04})); // then no read-back at all
    testing::internal::CaptureStdout();
    EXPECT_EQ(VerifyFlashChunk(DeviceHandle, 0, 4, data.data()), -0x13);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error -19\n");
}

} // namespace
