#include "link/flash_commands.h"
#include "link/link.h"
#include "link/tests/echo_flash.h"
#include "tests/support/progress_recorder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

Bytes Pattern(std::size_t size) {
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return data;
}

Bytes Concat(Bytes head, const Bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

class FlashCommandsTest : public testing::Test {
  protected:
    void SetUp() override {
        UseEchoFlash();
        recorded_progress.clear();
        LinkSequence = 0x10;
    }
};

TEST_F(FlashCommandsTest, BootloaderVersionIsTheLowSevenBitsOfPosition7) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(ReadBootloaderVersion(DeviceHandle), 2); // the module answers 0x82
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Reading from register 0x41\n");
    EXPECT_EQ(SentBodies(), (std::vector<Bytes>{RequestBody(AccessRead, 0x10, 0x41, {})}));

    UseScriptedUsb();
    QueueReply({0x02, 0x00, 0x0F, 0x00, 0x00, 0x00}); // ends at position 6
    EXPECT_EQ(ReadBootloaderVersion(DeviceHandle), -2) << "too short to hold the version";
    EXPECT_EQ(ReadBootloaderVersion(DeviceHandle), -2) << "no reply";
    scripted_usb.writes_before_failure = 0;
    EXPECT_EQ(ReadBootloaderVersion(DeviceHandle), -1);
}

TEST_F(FlashCommandsTest, UnlockWritesThreeToRegister42) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(UnlockFlash(DeviceHandle), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unlocking spiflash for write access.\n");
    EXPECT_EQ(SentBodies(), (std::vector<Bytes>{RequestBody(AccessWrite, 0x10, 0x42, {0x03})}));

    UseScriptedUsb();
    EXPECT_EQ(UnlockFlash(DeviceHandle), -2);
    scripted_usb.writes_before_failure = 0;
    EXPECT_EQ(UnlockFlash(DeviceHandle), -1);
}

TEST_F(FlashCommandsTest, TwoHundredByteImageRequestByRequest) {
    const Bytes data = Pattern(200);
    std::uint32_t done = 0;
    testing::internal::CaptureStdout();
    ASSERT_EQ(WriteFlashImage(DeviceHandle, 0xD0000, 200, data.data(), 400, done), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Erasing address: 0d0000\nread 8 bytes: ff 06 00 0f 00 00 00 04 \n\n\n");

    const Bytes second(data.begin() + 128, data.end());
    const std::vector<Bytes> expected = {
        RequestBody(AccessWrite, 0x10, 0x30, {0x04, 0xD8, 0x0D, 0x00, 0x00}),
        RequestBody(
            AccessWrite, 0x11, 0x30,
            Concat({0x84, 0x02, 0x0D, 0x00, 0x00}, Bytes(data.begin(), data.begin() + 128))),
        RequestBody(AccessWrite, 0x12, 0x30,
                    Concat(Concat({0x84, 0x02, 0x0D, 0x00, 0x80}, second), Bytes(56, 0xFF))),
        RequestBody(AccessWrite, 0x13, 0x30, {0x04, 0x03, 0x0D, 0x00, 0x00}),
        RequestBody(AccessRead, 0x14, 0x30, {}),
        RequestBody(AccessWrite, 0x15, 0x30, {0x04, 0x03, 0x0D, 0x00, 0x80}),
        RequestBody(AccessRead, 0x16, 0x30, {}),
    };
    EXPECT_EQ(SentBodies(), expected);
    EXPECT_EQ(done, 400u);
    EXPECT_EQ(recorded_progress, (std::vector<std::int32_t>{32, 50, 82, 95}));
    EXPECT_EQ(Bytes(echo_flash.flash.begin() + 0xD0000, echo_flash.flash.begin() + 0xD00C8), data);
}

TEST_F(FlashCommandsTest, EraseRequestsCoverTheImageIn64KiBBlocks) {
    const Bytes data = Pattern(0x10001);
    std::uint32_t done = 0;
    testing::internal::CaptureStdout();
    ASSERT_EQ(WriteFlashImage(DeviceHandle, 0x20000, 0x10000, data.data(), 1, done), 0);
    EXPECT_EQ(echo_flash.erased, (std::vector<std::uint32_t>{0x20000}));
    echo_flash.erased.clear();
    ASSERT_EQ(WriteFlashImage(DeviceHandle, 0x20000, 0x10001, data.data(), 1, done), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(echo_flash.erased, (std::vector<std::uint32_t>{0x20000, 0x30000}));
}

TEST_F(FlashCommandsTest, ProgressStopsAt95AndCountsAFailedChunk) {
    const Bytes data = Pattern(128);
    std::uint32_t done = 900;
    testing::internal::CaptureStdout();
    ASSERT_EQ(WriteFlashImage(DeviceHandle, 0, 128, data.data(), 1000, done), 0);
    EXPECT_EQ(recorded_progress, (std::vector<std::int32_t>{95, 95}));
    EXPECT_EQ(done, 1156u);

    UseScriptedUsb();
    recorded_progress.clear();
    done = 0;
    QueueReply(ReplyBody({0x04})); // the erase's reply, then silence
    EXPECT_EQ(WriteFlashImage(DeviceHandle, 0, 128, data.data(), 1000, done), -0x13);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(done, 128u);
    EXPECT_EQ(recorded_progress, (std::vector<std::int32_t>{12}));
}

TEST_F(FlashCommandsTest, EveryDifferingByteIsTracedBeforeTheChunkFails) {
    const Bytes data = Pattern(128);
    ASSERT_EQ(ProgramFlashChunk(DeviceHandle, 0xD0000, 128, data.data()), 0);
    echo_flash.flash[0xD0005] ^= 0x10;
    echo_flash.flash[0xD0064] ^= 0x01;
    testing::internal::CaptureStdout();
    EXPECT_EQ(VerifyFlashChunk(DeviceHandle, 0xD0000, 128, data.data()), -1);
    char expected[128];
    std::snprintf(expected, sizeof expected,
                  "   d0005 got: %02x expected %02x\n   d0064 got: %02x expected %02x\n",
                  data[5] ^ 0x10, data[5], data[100] ^ 0x01, data[100]);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
}

TEST_F(FlashCommandsTest, VerifyComparesOnlyTheChunksLength) {
    const Bytes data = Pattern(72);
    ASSERT_EQ(ProgramFlashChunk(DeviceHandle, 0xD0080, 72, data.data()), 0);
    EXPECT_EQ(echo_flash.flash[0xD0080 + 72], 0xFF) << "filled up with FF";
    echo_flash.flash[0xD0080 + 72] = 0x00;
    EXPECT_EQ(VerifyFlashChunk(DeviceHandle, 0xD0080, 72, data.data()), 0);
}

TEST_F(FlashCommandsTest, ImagePassStopsAfterTheChunkThatDidNotVerify) {
    const Bytes data = Pattern(384);
    echo_flash.stuck_address = 0x101;
    ASSERT_EQ(data[0x101] & 1, 0);
    std::uint32_t done = 0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(WriteFlashImage(DeviceHandle, 0, 384, data.data(), 768, done), -1);
    const std::string trace = testing::internal::GetCapturedStdout();
    EXPECT_NE(trace.find("     101 got: "), std::string::npos) << trace;
    EXPECT_EQ(echo_flash.read_backs, 3);
    EXPECT_EQ(done, 768u);
}

TEST_F(FlashCommandsTest, ShortReadBackIsAVerifyFailure) {
    const Bytes data = Pattern(4);
    UseScriptedUsb();
    const Bytes header{0x84, 0xFF, 0xFF, 0xFF, 0xFF};
    QueueReply(ReplyBody({0x04}));
    QueueReply(ReplyBody(Concat(header, {data[0], data[1], data[2]}))); // ends at position 14
    testing::internal::CaptureStdout();
    EXPECT_EQ(VerifyFlashChunk(DeviceHandle, 0, 4, data.data()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error -1\n");

    QueueReply(ReplyBody({0x04}));
    QueueReply(ReplyBody(Concat(header, data)));
    EXPECT_EQ(VerifyFlashChunk(DeviceHandle, 0, 4, data.data()), 0);

    QueueReply(ReplyBody({0x04})); // then no read-back at all
    testing::internal::CaptureStdout();
    EXPECT_EQ(VerifyFlashChunk(DeviceHandle, 0, 4, data.data()), -0x13);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error -19\n");
}

} // namespace
