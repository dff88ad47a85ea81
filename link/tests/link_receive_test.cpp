#include "link/link.h"
#include "link/tests/scripted_usb.h"

#include <gtest/gtest.h>

#include <array>

namespace {

class LinkReceiveTest : public testing::Test {
  protected:
    void SetUp() override {
        UseScriptedUsb();
        buffer.fill(0xEE);
    }
    std::int32_t Receive(std::uint32_t capacity = 256) {
        return LinkReceive(DeviceHandle, capacity, buffer.data());
    }
    Bytes Stored(std::size_t count) const { return Bytes(buffer.begin(), buffer.begin() + count); }
    std::array<std::uint8_t, 300> buffer{};
};

TEST_F(LinkReceiveTest, DecodesRepliesAndChecksTheirSums) {
    QueueRaw({0xFF, 0x01, 0x02, 0x03, 0x06, 0xFF});
    EXPECT_EQ(Receive(), 4);
    EXPECT_EQ(Stored(6), (Bytes{0xFF, 0x01, 0x02, 0x03, 0x06, 0xFF}));

    QueueRaw({0xFF, 0x10, 0x20, 0x31, 0xFF});
    EXPECT_EQ(Receive(), LinkBadChecksum);

    QueueRaw({0xFF, 0xFE, 0x01, 0xFE, 0x01, 0xFF});
    EXPECT_EQ(Receive(), 2);
    EXPECT_EQ(Stored(4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF})) << "body FF, checksum FF";
}

TEST_F(LinkReceiveTest, FrameBeyondCapacityStopsWithoutStoringPastIt) {
    QueueRaw({0xFF, 0x01, 0x02, 0x03, 0x06, 0xFF});
    EXPECT_EQ(Receive(5), LinkOverCapacity);
    EXPECT_EQ(buffer[5], 0xEE);
    QueueRaw({0xFF, 0x01, 0x02, 0x03, 0x06, 0xFF});
    EXPECT_EQ(Receive(6), 4);
}

TEST_F(LinkReceiveTest, EscapePairSplitAcrossChunksDecodesAsOnePiece) {
    Bytes body(70, 0x01);
    body[62] = 0xFE; // goes out as FE | 00, split between the two chunks
    body[66] = 0xFF;
    const Bytes frame = ReplyFrame(body);
    ASSERT_EQ(frame[63], 0xFE);
    ASSERT_EQ(frame[64], 0x00);
    QueueRaw(frame);
    ASSERT_EQ(scripted_usb.chunks.size(), 2u);
    ASSERT_EQ(Receive(), 71);
    EXPECT_EQ(Bytes(buffer.begin() + 1, buffer.begin() + 71), body);
    EXPECT_EQ(buffer[72], 0xFF);
}

TEST_F(LinkReceiveTest, EndMarkerArrivingAloneInTheNextChunkIsAccepted) {
    const Bytes frame = ReplyFrame(Bytes(62, 0x02)); // 65 bytes on the wire
    ASSERT_EQ(frame.size(), 65u);
    QueueRaw(frame);
    ASSERT_EQ(scripted_usb.chunks.back(), Bytes{0xFF});
    EXPECT_EQ(Receive(), 63);
}

TEST_F(LinkReceiveTest, DataStoppingWithoutEndMarkerIsRefused) {
    QueueRaw({0xFF, 0x01, 0x02, 0x03});
    EXPECT_EQ(Receive(), LinkNoEndMarker);
    QueueRaw({0xFF});
    EXPECT_EQ(Receive(), LinkNoEndMarker);
    scripted_usb.chunks.push_back({});
    EXPECT_EQ(Receive(), LinkNoEndMarker);
}

TEST_F(LinkReceiveTest, BytesAfterTheEndMarkerInItsChunkAreDropped) {
    QueueRaw({0xFF, 0x01, 0x02, 0x03, 0x06, 0xFF, 0x55, 0x66});
    EXPECT_EQ(Receive(), 4);
    EXPECT_EQ(buffer[6], 0xEE);
}

TEST_F(LinkReceiveTest, FailedReadIsPassedOnNegated) {
    scripted_usb.read_status = 0x13;
    EXPECT_EQ(Receive(), -0x13);
    scripted_usb.read_status = -7; // already negative: stays a failure
    EXPECT_EQ(Receive(), -7);
}

TEST_F(LinkReceiveTest, ByteCountBeyondTheChunkIsTakenAs64) {
    scripted_usb.extra_count = 100; // the library claims more than the chunk holds
    QueueRaw({0xFF, 0x01, 0x02});
    EXPECT_EQ(Receive(), -0x13) << "a full chunk without end marker: the next read fails";
}

TEST_F(LinkReceiveTest, DumpReplyTracesTheStoredBytesOrTheFailure) {
    QueueRaw({0xFF, 0x01, 0x02, 0x03, 0x06, 0xFF});
    scripted_usb.chunks.push_back({0xFF, 0x01});
    testing::internal::CaptureStdout();
    LinkDumpReply(DeviceHandle, {"probe reply", 5});
    LinkDumpReply(DeviceHandle, {"probe reply", 5});
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "read 4 bytes: ff 01 02 03 \nread -48 bytes: \n");
}

} // namespace
