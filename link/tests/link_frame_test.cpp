#include "link/identify.h"
#include "link/link.h"
#include "link/tests/scripted_usb.h"

#include <gtest/gtest.h>

namespace {

class LinkSendTest : public testing::Test {
  protected:
    void SetUp() override { UseScriptedUsb(); }
};

TEST_F(LinkSendTest, FirstIdentificationRequestEscapesFeAndLeavesLengthUnsummed) {
    LinkSequence = 0xAA;
    const auto request = IdentifyRequest(LinkSequence);
    ASSERT_EQ(LinkSend(DeviceHandle, kRawBody, AccessRead, 8, request.data()), 0);
    EXPECT_EQ(WrittenBytes(),
              (Bytes{0xFF, 0x07, 0x00, 0x1F, 0xFE, 0x00, 0x00, 0x02, 0xAA, 0x00, 0xC9, 0xFF}));
    EXPECT_EQ(LinkSequence, 0xAB);
}

TEST_F(LinkSendTest, RegisterReadAndWriteFrames) {
    LinkSequence = 0xAB;
    ASSERT_EQ(LinkSend(DeviceHandle, kBootloaderRegister, AccessRead, 0, nullptr), 0);
    EXPECT_EQ(WrittenBytes(), (Bytes{0xFF, 0x06, 0x00, 0x0F, 0x00, 0x00, 0xAB, 0x41, 0xFB, 0xFF}));

    UseScriptedUsb();
    LinkSequence = 0x2A;
    const std::uint8_t unlock[] = {0x03};
    ASSERT_EQ(LinkSend(DeviceHandle, kUnlockRegister, AccessWrite, 1, unlock), 0);
    EXPECT_EQ(WrittenBytes(), (Bytes{0xFF, 0x07, 0x80, 0x0F, 0x00, 0x00, 0x2A, 0x42, 0x03, 0xFE,
                                     0x00, 0xFF})); // checksum FE, escaped
}

TEST_F(LinkSendTest, SequenceWrapsAfterFdAndNeverTakesFeOrFf) {
    LinkSequence = 0xFD;
    ASSERT_EQ(LinkSend(DeviceHandle, kVersionRegister, AccessRead, 0, nullptr), 0);
    ASSERT_EQ(LinkSend(DeviceHandle, kVersionRegister, AccessRead, 0, nullptr), 0);
    const std::vector<Bytes> bodies = SentBodies();
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_EQ(bodies[0][5], 0xFD);
    EXPECT_EQ(bodies[1][5], 0x00);

    for (int i = 0; i < 600; ++i) {
        const std::uint8_t before = LinkSequence;
        LinkSend(DeviceHandle, kVersionRegister, AccessRead, 0, nullptr);
        ASSERT_LT(LinkSequence, 0xFE);
        ASSERT_EQ(LinkSequence, before == 0xFD ? 0 : before + 1);
    }
}

TEST_F(LinkSendTest, LongFrameGoesOutIn64BytePiecesAndRoundTrips) {
    // The longest payload, every byte escaped, and an escaped Length and register.
    const Bytes payload(kMaxHeadedPayload, 0xFF);
    LinkSequence = 0x10;
    ASSERT_EQ(LinkSend(DeviceHandle, 0xFE, AccessWrite, kMaxHeadedPayload, payload.data()), 0);
    std::size_t total = 0;
    for (std::size_t i = 0; i < scripted_usb.pieces.size(); ++i) {
        total += scripted_usb.pieces[i].size();
        if (i + 1 < scripted_usb.pieces.size()) {
            EXPECT_EQ(scripted_usb.pieces[i].size(), 64u) << "piece " << i;
        }
    }
    EXPECT_EQ(total, 510u); // markers 2, Length 2, 80 0F 00 00 10 5, register 2, 498, checksum A4 1
    EXPECT_EQ(scripted_usb.pieces.size(), 8u);
    const std::vector<Bytes> bodies = SentBodies();
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_EQ(bodies[0], RequestBody(AccessWrite, 0x10, 0xFE, payload));
}

TEST_F(LinkSendTest, FailedPieceEndsTheSendButStillAdvancesTheSequence) {
    const Bytes payload(200, 0x11);
    scripted_usb.writes_before_failure = 1;
    scripted_usb.write_status = 0x04;
    LinkSequence = 0x50;
    EXPECT_EQ(LinkSend(DeviceHandle, FlashPort, AccessWrite, 200, payload.data()), -4);
    EXPECT_EQ(scripted_usb.pieces.size(), 1u);
    EXPECT_EQ(LinkSequence, 0x51);
    scripted_usb.write_status = SI_WRITE_TIMED_OUT; // the write deadline passed
    testing::internal::CaptureStdout();
    EXPECT_EQ(LinkSend(DeviceHandle, FlashPort, AccessWrite, 200, payload.data()), -0x0E);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "deadline passed: request to register 0x30 not taken within 5 s\n");
}

TEST_F(LinkSendTest, HeadedPayloadOver249BytesIsRefusedUnsent) {
    const Bytes payload(250, 0x11);
    LinkSequence = 0x50;
    EXPECT_EQ(LinkSend(DeviceHandle, FlashPort, AccessWrite, 250, payload.data()),
              LinkPayloadTooLong);
    EXPECT_TRUE(scripted_usb.pieces.empty());
    EXPECT_EQ(LinkSequence, 0x50);
}

} // namespace
