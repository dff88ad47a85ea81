// The exact frames a correct host sends are answered at the positions it reads; each
// kind of host error is one violation and gets its documented reply, or none.
#include "sim/inprocess/sim_door.h"
#include "sim/tests/test_host.h"
#include <gtest/gtest.h>

namespace {

const Bytes kFirstIdentify = {0xFF, 0x07, 0x00, 0x1F, 0xFE, 0x00,
                              0x00, 0x02, 0xAA, 0x00, 0xC9, 0xFF};
const Bytes kBootloaderReadAB = {0xFF, 0x06, 0x00, 0x0F, 0x00, 0x00, 0xAB, 0x41, 0xFB, 0xFF};

class WireConformance : public ::testing::Test {
  protected:
    void TearDown() override { SimDoorStop(); }
};

// Reply body length, status, the fixed bytes and the echoed sequence.
void ExpectReplyHeader(const Bytes& decoded, std::uint8_t status, std::uint8_t sequence) {
    ASSERT_GE(decoded.size(), 9u);
    EXPECT_TRUE(ReplyChecksumOk(decoded));
    EXPECT_EQ(decoded[1], decoded.size() - 4); // body bytes after Length
    EXPECT_EQ(decoded[2], status);
    EXPECT_EQ(decoded[3], 0x0F);
    EXPECT_EQ(decoded[4], 0x00);
    EXPECT_EQ(decoded[5], 0x00);
    EXPECT_EQ(decoded[6], sequence);
}

// No reply comes: the read waits the host's whole time-out on the virtual clock (no cap
// by default) and times out.
void ExpectNoReply() {
    std::uint32_t bytes = 0, queue = 0;
    ASSERT_EQ(usb_library.SI_CheckRXQueue(DeviceHandle, &bytes, &queue), 0);
    EXPECT_EQ(queue & SI_RX_READY, 0u);
    const std::uint64_t before = SimDoorNowUs();
    const ReadResult reply = ReadReply();
    EXPECT_NE(reply.status, 0);
    EXPECT_TRUE(reply.raw.empty());
    EXPECT_EQ(SimDoorNowUs() - before, std::uint64_t{0xFFFFFF} * 1000);
}

Bytes Address(std::uint32_t at) {
    return {static_cast<std::uint8_t>(at >> 16), static_cast<std::uint8_t>(at >> 8),
            static_cast<std::uint8_t>(at)};
}

Bytes FlashPort(std::uint8_t opcode, std::uint32_t at, const Bytes& data = {}) {
    Bytes payload{static_cast<std::uint8_t>(4 + data.size()), opcode};
    for (std::uint8_t b : Address(at))
        payload.push_back(b);
    payload.insert(payload.end(), data.begin(), data.end());
    return payload;
}

TEST_F(WireConformance, QuotedFramesAreAnsweredWhereTheProgramReads) {
    StartAndOpen("[A17]\n");
    ASSERT_EQ(RequestFrame({0x07, 0x00, 0x1F, 0xFE, 0x00, 0x02, 0xAA, 0x00}), kFirstIdentify);

    ASSERT_EQ(WriteFrame(kFirstIdentify), 0);
    ReadResult reply = ReadReply();
    ASSERT_EQ(reply.status, 0);
    ExpectReplyHeader(reply.decoded, 0, 0xAA);
    EXPECT_EQ(reply.decoded[8], 0x42); // type
    EXPECT_EQ(reply.decoded[9], 0x1B); // subtype

    ASSERT_EQ(WriteFrame(kBootloaderReadAB), 0);
    reply = ReadReply();
    ExpectReplyHeader(reply.decoded, 0, 0xAB);
    EXPECT_EQ(reply.decoded[7], 0x82);

    TestHost host{0xAC};
    reply = host.Exchange(0x09, kRead);
    ExpectReplyHeader(reply.decoded, 0, 0xAC);
    EXPECT_EQ(std::string(reply.decoded.begin() + 7, reply.decoded.begin() + 12), "00786");
    EXPECT_EQ(reply.decoded[12], 0x00);

    reply = host.Exchange(0x30, kWrite, FlashPort(0x03, 0xD0000));
    ExpectReplyHeader(reply.decoded, 0, 0xAD);
    EXPECT_EQ(reply.decoded[7], 0x04); // the count byte
    reply = host.Exchange(0x30, kRead);
    ExpectReplyHeader(reply.decoded, 0, 0xAE);
    ASSERT_EQ(reply.decoded.size(), 12u + 128 + 2);
    EXPECT_EQ(reply.decoded[7], 0x84);
    EXPECT_EQ(Bytes(reply.decoded.begin() + 8, reply.decoded.begin() + 12), Bytes(4, 0xFF));
    const auto flash = SimDoorFlash("A17");
    EXPECT_EQ(Bytes(reply.decoded.begin() + 12, reply.decoded.begin() + 140),
              Bytes(flash.begin() + 0xD0000, flash.begin() + 0xD0080));
    EXPECT_EQ(SimDoorViolationCount(), 0);
    EXPECT_EQ(SimDoorExchangeCount(), 5u);
}

TEST_F(WireConformance, UnlockWithChecksumFeAndTheSequenceWrap) {
    StartAndOpen("[A17]\n");
    const Bytes unlock = RequestFrame(RegisterBody(0x2A, 0x42, kWrite, {0x03}));
    ASSERT_EQ(Bytes(unlock.end() - 3, unlock.end()), (Bytes{0xFE, 0x00, 0xFF}));
    ASSERT_EQ(WriteFrame(unlock), 0);
    const ReadResult reply = ReadReply();
    ExpectReplyHeader(reply.decoded, 0, 0x2A);
    EXPECT_EQ(reply.decoded[7], 0x00);

    TestHost host{0xFD};
    ExpectReplyHeader(host.Exchange(0x41, kRead).decoded, 0x01, 0xFD); // not 0x2B
    EXPECT_EQ(SimDoorViolationCount(), 1);
    ExpectReplyHeader(host.Exchange(0x41, kRead).decoded, 0, 0x00);
    ExpectReplyHeader(host.Exchange(0x41, kRead).decoded, 0, 0x01);
    EXPECT_EQ(SimDoorViolationCount(), 1);
}

TEST_F(WireConformance, ReadsReturnAtMostWhatWasAskedAndAtMost64) {
    StartAndOpen("[A17]\n");
    TestHost host;
    host.Send(0x30, kWrite, FlashPort(0x03, 0)); // the reply of the latch is 10 bytes
    std::uint8_t buffer[256];
    std::uint32_t got = 0;
    ASSERT_EQ(usb_library.SI_Read(DeviceHandle, buffer, 5, &got, nullptr), 0);
    EXPECT_EQ(got, 5u);
    ASSERT_EQ(usb_library.SI_Read(DeviceHandle, buffer, 64, &got, nullptr), 0);
    EXPECT_EQ(got, 5u);
    host.Send(0x30, kRead); // a flash read reply: 128 FF data bytes, escaped
    ASSERT_EQ(usb_library.SI_Read(DeviceHandle, buffer, 256, &got, nullptr), 0);
    EXPECT_EQ(got, 64u);
}

TEST_F(WireConformance, BadChecksumIsOneViolationWithoutReply) {
    StartAndOpen("[A17]\n");
    Bytes frame = kBootloaderReadAB;
    frame[8] = 0xFA;
    ASSERT_EQ(WriteFrame(frame), 0);
    ExpectNoReply();
    EXPECT_EQ(SimDoorViolationCount(), 1);
    EXPECT_NE(SimDoorViolations().at(0).find("checksum"), std::string::npos);

    TestHost host{0xAC}; // the host's sequence has moved on; the module follows
    ExpectReplyHeader(host.Exchange(0x41, kRead).decoded, 0, 0xAC);
    EXPECT_EQ(SimDoorViolationCount(), 1);
}

TEST_F(WireConformance, BadEscapeIsOneViolationWithoutReply) {
    StartAndOpen("[A17]\n");
    Bytes frame = kFirstIdentify;
    frame[5] = 0x02; // FE 02 is no escape
    ASSERT_EQ(WriteFrame(frame), 0);
    ExpectNoReply();
    ASSERT_EQ(SimDoorViolations(), std::vector<std::string>{"VIOLATION A17 bad escape fe 02"});
}

TEST_F(WireConformance, WrongLengthAndFixedBytesGetNoReply) {
    StartAndOpen("[A17]\n");
    Bytes body = RegisterBody(0xAA, 0x41, kRead);
    body[0] = 0x07;
    ASSERT_EQ(WriteFrame(RequestFrame(body)), 0);
    ExpectNoReply();
    body = RegisterBody(0xAA, 0x41, kRead);
    body[2] = 0x0E;
    ASSERT_EQ(WriteFrame(RequestFrame(body)), 0);
    ExpectNoReply();
    EXPECT_EQ(SimDoorViolationCount(), 2);
}

TEST_F(WireConformance, WriteOfMoreThan64BytesIsOneViolationAndStillAnswered) {
    StartAndOpen("[A17]\n");
    TestHost host;
    host.Exchange(0x42, kWrite, {0x03});
    host.Exchange(0x30, kWrite, FlashPort(0xD8, 0x100000));
    const Bytes frame =
        RequestFrame(RegisterBody(0xAC, 0x30, kWrite, FlashPort(0x02, 0x100000, Bytes(128, 0x5A))));
    std::uint32_t written = 0;
    ASSERT_EQ(usb_library.SI_Write(DeviceHandle, frame.data(),
                                   static_cast<std::uint32_t>(frame.size()), &written, nullptr),
              0);
    ASSERT_EQ(SimDoorViolations(),
              std::vector<std::string>{"VIOLATION A17 write of " + std::to_string(frame.size()) +
                                       " bytes, more than 64"});
    ExpectReplyHeader(ReadReply().decoded, 0, 0xAC);
    EXPECT_EQ(SimDoorFlash("A17")[0x10007F], 0x5A);
}

TEST_F(WireConformance, EraseAndProgramBeforeUnlockAreRefused) {
    StartAndOpen("[A17]\n");
    TestHost host;
    const Bytes before(SimDoorFlash("A17").begin(), SimDoorFlash("A17").end());
    ReadResult reply = host.Exchange(0x30, kWrite, FlashPort(0xD8, 0xD0000));
    ExpectReplyHeader(reply.decoded, 0x03, 0xAA);
    EXPECT_EQ(SimDoorViolationCount(), 1);
    reply = host.Exchange(0x30, kWrite, FlashPort(0x02, 0x10, Bytes(128, 0x00)));
    ExpectReplyHeader(reply.decoded, 0x03, 0xAB);
    EXPECT_EQ(SimDoorViolationCount(), 2);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), SimDoorFlash("A17").begin()));
    EXPECT_NE(SimDoorViolations()[0].find("erase before unlock at 0x0d0000"), std::string::npos);
    EXPECT_NE(SimDoorViolations()[1].find("program before unlock"), std::string::npos);
}

TEST_F(WireConformance, ProgrammingABitFromZeroToOneIsOneViolation) {
    StartAndOpen("[A17]\n");
    TestHost host;
    host.Exchange(0x42, kWrite, {0x03});
    host.Exchange(0x30, kWrite, FlashPort(0xD8, 0x100000));
    ExpectReplyHeader(host.Exchange(0x30, kWrite, FlashPort(0x02, 0x100000, {0x0F})).decoded, 0,
                      0xAC);
    const ReadResult reply = host.Exchange(0x30, kWrite, FlashPort(0x02, 0x100000, {0xF3}));
    ExpectReplyHeader(reply.decoded, 0x05, 0xAD);
    EXPECT_EQ(reply.decoded[7], 0x05); // the count byte
    EXPECT_EQ(SimDoorFlash("A17")[0x100000], 0x03);
    ASSERT_EQ(SimDoorViolations(),
              std::vector<std::string>{"VIOLATION A17 program 0->1 of 4 bits at 0x100000"});
}

TEST_F(WireConformance, UnknownRegisterAndBadFlashTransfersAreRefused) {
    StartAndOpen("[A17]\n");
    TestHost host;
    ExpectReplyHeader(host.Exchange(0x55, kRead).decoded, 0x02, 0xAA);
    ExpectReplyHeader(host.Exchange(0x30, kWrite, {0x05, 0xD8, 0, 0, 0}).decoded, 0x04, 0xAB);
    ExpectReplyHeader(host.Exchange(0x30, kRead).decoded, 0x04, 0xAC); // no read address
    ExpectReplyHeader(host.Exchange(0x30, kWrite, FlashPort(0x03, 0x200000)).decoded, 0x04, 0xAD);
    EXPECT_EQ(SimDoorViolationCount(), 4);
}

TEST_F(WireConformance, StrayBytesAndEmptyFramesAreViolations) {
    StartAndOpen("[A17]\n");
    Bytes wire{0x12, 0x34, 0xFF};
    const Bytes frame = RequestFrame(RegisterBody(0xAA, 0x41, kRead));
    wire.insert(wire.end(), frame.begin(), frame.end());
    std::uint32_t written = 0;
    ASSERT_EQ(usb_library.SI_Write(DeviceHandle, wire.data(),
                                   static_cast<std::uint32_t>(wire.size()), &written, nullptr),
              0);
    EXPECT_EQ(SimDoorViolations(),
              (std::vector<std::string>{"VIOLATION A17 byte 0x12 outside a frame",
                                        "VIOLATION A17 empty frame"}));
    ExpectReplyHeader(ReadReply().decoded, 0, 0xAA);
}

} // namespace
