// Every fault of the table that is not a restart fault, once.
#include "sim/inprocess/sim_door.h"
#include "sim/tests/test_host.h"
#include "usb/usb_scan.h"
#include <gtest/gtest.h>

namespace {

class Faults : public ::testing::Test {
  protected:
    void TearDown() override { SimDoorStop(); }
};

// Request 1 is the identification, request 2 the bootloader read.
ReadResult SecondReply() {
    TestHost host;
    EXPECT_EQ(WriteFrame(RequestFrame({0x07, 0x00, 0x1F, 0xFE, 0x00, 0x02, 0xAA, 0x00})), 0);
    EXPECT_EQ(ReadReply().status, 0);
    host.sequence = 0xAB;
    return host.Exchange(0x41, kRead);
}

TEST_F(Faults, ReplyCorruptBreaksTheChecksumOfThatReplyOnly) {
    StartAndOpen("[A17]\nfault = reply-corrupt@2\n");
    const ReadResult reply = SecondReply();
    ASSERT_EQ(reply.status, 0);
    ASSERT_EQ(reply.decoded.size(), 10u);
    EXPECT_EQ(reply.decoded.back(), 0xFF);
    EXPECT_FALSE(ReplyChecksumOk(reply.decoded));
    TestHost host{0xAC};
    EXPECT_TRUE(ReplyChecksumOk(host.Exchange(0x41, kRead).decoded));
}

TEST_F(Faults, ReplyTruncatedStopsBeforeTheEndMarker) {
    StartAndOpen("[A17]\nfault = reply-truncated@2\n");
    const ReadResult reply = SecondReply();
    ASSERT_EQ(reply.status, 0);
    ASSERT_EQ(reply.decoded.size(), 9u);
    EXPECT_NE(reply.decoded.back(), 0xFF);
}

TEST_F(Faults, ReplyMissingWaitsTheShorterOfCapAndHostTimeOut) {
    StartAndOpen("[A17]\nfault = reply-missing@2\nread_timeout_cap_ms = 700\n");
    std::uint64_t before = SimDoorNowUs();
    EXPECT_NE(SecondReply().status, 0);
    EXPECT_EQ(SimDoorNowUs() - before, 700u * 1000);

    usb_library.SI_SetTimeouts(300, 300);
    before = SimDoorNowUs();
    std::uint8_t buffer[64];
    std::uint32_t got = 7;
    EXPECT_NE(usb_library.SI_Read(DeviceHandle, buffer, 64, &got, nullptr), 0);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(SimDoorNowUs() - before, 300u * 1000);
}

// Not a fault, but the same wait: an erase's reply is neither queued nor read before
// erase_block_ms, and a read waits for it.
TEST_F(Faults, EraseRepliesComeWhenTheBlockIsErased) {
    StartAndOpen("[A17]\nerase_block_ms = 2500\n");
    TestHost host;
    ASSERT_EQ(host.Exchange(0x42, kWrite, {0x03}).status, 0);
    host.Send(0x30, kWrite, {0x04, 0xD8, 0x10, 0x00, 0x00});
    std::uint32_t bytes = 0, queue = 0;
    ASSERT_EQ(usb_library.SI_CheckRXQueue(DeviceHandle, &bytes, &queue), 0);
    EXPECT_EQ(queue, 0u);
    const std::uint64_t before = SimDoorNowUs();
    EXPECT_TRUE(ReplyChecksumOk(ReadReply().decoded));
    EXPECT_EQ(SimDoorNowUs() - before, 2500u * 1000);
}

TEST_F(Faults, DisconnectPullsTheModuleAfterThatRequest) {
    StartAndOpen("[A17]\nfault = disconnect@2\n");
    EXPECT_NE(SecondReply().status, 0);
    EXPECT_EQ(SimDoorPresentCount(), 0);
    EXPECT_EQ(SimDoorEvents().back().line, "unplug");
    std::uint32_t written = 0;
    const std::uint8_t byte = 0xFF;
    EXPECT_NE(usb_library.SI_Write(DeviceHandle, &byte, 1, &written, nullptr), 0);
    EXPECT_NE(usb_library.SI_Close(DeviceHandle), 0);
}

TEST_F(Faults, StuckBitNeverProgramsToZero) {
    StartAndOpen("[A17]\nfault = stuck-bit@100005\n");
    TestHost host;
    EXPECT_EQ(WriteImageAsHost(&host, 0x100000, Bytes(128, 0x00)), 1);
    EXPECT_EQ(SimDoorFlash("A17")[0x100005], 0x01);
    EXPECT_EQ(SimDoorFlash("A17")[0x100006], 0x00);
    EXPECT_EQ(SimDoorViolationCount(), 0);
}

TEST_F(Faults, LockedModuleAcceptsButChangesNothing) {
    StartAndOpen("[A17]\nfault = locked\n");
    TestHost host;
    const Bytes before(SimDoorFlash("A17").begin(), SimDoorFlash("A17").end());
    EXPECT_EQ(WriteImageAsHost(&host, 0xD0000, Bytes(300, 0x11)), 3);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), SimDoorFlash("A17").begin()));
    EXPECT_EQ(SimDoorViolationCount(), 0);
}

TEST_F(Faults, OpenFails) {
    std::string error;
    ASSERT_EQ(SimDoorStart("[A17]\nfault = open-fails\n", &error), 0);
    SimDoorFillUsbLibrary();
    std::uint32_t count = 0;
    ASSERT_EQ(usb_library.SI_GetNumDevices(&count), 0);
    EXPECT_EQ(count, 1u);
    SiHandle handle = nullptr;
    EXPECT_NE(usb_library.SI_Open(0, &handle), 0);
}

TEST_F(Faults, RxPendingLeavesAStaleReplyAtOpen) {
    StartAndOpen("[A17]\nfault = rx-pending\n");
    std::uint32_t bytes = 0, queue = 0;
    ASSERT_EQ(usb_library.SI_CheckRXQueue(DeviceHandle, &bytes, &queue), 0);
    EXPECT_EQ(queue & SI_RX_READY, SI_RX_READY);
    EXPECT_GT(bytes, 0u);
    const ReadResult stale = ReadReply();
    EXPECT_TRUE(ReplyChecksumOk(stale.decoded));
    ASSERT_EQ(usb_library.SI_CheckRXQueue(DeviceHandle, &bytes, &queue), 0);
    EXPECT_EQ(bytes, 0u);
}

TEST_F(Faults, VersionTextReplacesTheVersion) {
    StartAndOpen("[A17]\nfault = version-text=ab1\n");
    TestHost host;
    const ReadResult reply = host.Exchange(0x09, kRead);
    ASSERT_EQ(reply.decoded.size(), 15u);
    EXPECT_EQ(Bytes(reply.decoded.begin() + 7, reply.decoded.begin() + 13),
              (Bytes{'a', 'b', '1', 0, 0, 0}));
}

TEST_F(Faults, FaultsCountRequestsFromEachOpen) {
    StartAndOpen("[A17]\nfault = reply-missing@1\n");
    TestHost host;
    EXPECT_NE(host.Exchange(0x41, kRead).status, 0);
    ASSERT_EQ(usb_library.SI_Close(DeviceHandle), 0);
    ASSERT_EQ(usb_library.SI_Open(0, &DeviceHandle), 0);
    EXPECT_NE(host.Exchange(0x41, kRead).status, 0);
    EXPECT_EQ(host.Exchange(0x41, kRead).status, 0);
}

} // namespace
