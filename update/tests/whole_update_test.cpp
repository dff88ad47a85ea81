// A whole update of this build's record against a healthy simulated module, and the
// runs that must not reach the module at all.
#include "link/link.h"
#include "payload/device_record.h"
#include "sim/inprocess/sim_door.h"
#include "update/tests/update_test_support.h"
#include "usb/usb_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr std::uint32_t kWorkTotal = 1734164;
constexpr std::uint64_t kMs = 1000;

class WholeUpdate : public testing::Test {
  protected:
    void TearDown() override {
        SimDoorStop();
        ExpectNoLeak();
    }
};

std::string Format(const char* format, auto... values) {
    char text[256];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

std::string ImageLine(const ImageEntry& entry, std::uint32_t size) {
    return Format("%5x %p %u %02x -> %u\r\n", static_cast<unsigned>(entry.flash_address),
                  static_cast<const void*>(entry.data), static_cast<unsigned>(entry.length),
                  static_cast<unsigned>(entry.flags), static_cast<unsigned>(size));
}

// The module's answer to an erase: the count byte of the request.
std::string EraseLines(std::uint32_t address, std::uint8_t sequence) {
    return Format("Erasing address: %06x\n", static_cast<unsigned>(address)) +
           Format("read 8 bytes: ff 06 00 0f 00 00 %02x 04 \n", static_cast<unsigned>(sequence));
}

std::uint64_t EventTime(const std::string& line) {
    for (const SimEvent& event : SimDoorEvents())
        if (event.serial == "A17" && event.line == line)
            return event.time_us;
    return UINT64_MAX;
}

TEST_F(WholeUpdate, WritesBothImagesAndTheModuleBootsTheNewVersion) {
    ASSERT_EQ(StartIdentified("[A17]\n"), 786);
    const UpdateOutcome run = RunUpdate();
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(DeviceHandle, nullptr); // closed when the module left
    const std::vector<std::uint8_t>& flash_image = DecodedFlashImage();
    const std::vector<std::uint8_t>& mcu_image = FramedMcuImage();
    ASSERT_EQ(flash_image.size(), 802570u);
    ASSERT_EQ(mcu_image.size(), 64508u + 4);
    EXPECT_TRUE(FlashOfA17(0x0, flash_image.size()) == flash_image);
    EXPECT_TRUE(FlashOfA17(0xD0000, mcu_image.size()) == mcu_image);
    EXPECT_EQ(SimDoorBootResult("A17"), "fpga ok, mcu ok");
    EXPECT_EQ(SimDoorBoots("A17"), 1);
    EXPECT_EQ(SimDoorViolationCount(), 0) << testing::PrintToString(SimDoorViolations());
    // Every request from the probe to the restart request, and nothing else.
    EXPECT_EQ(run.exchanges, PlanOfThisRecord().restart - 2);
    EXPECT_EQ(IdentifyAgain(), 787);
}

TEST_F(WholeUpdate, TraceLinesInOrder) {
    ASSERT_EQ(StartIdentified("[A17]\n"), 786);
    const UpdateOutcome run = RunUpdate();
    ASSERT_EQ(run.result, 0);

    const RequestPlan plan = PlanOfThisRecord();
    const auto sequence = [&](std::uint32_t request) {
        return SequenceAfter(run.first_sequence, request - plan.probe);
    };
    std::string expected = ImageLine(device_record.images[0], 802570) +
                           ImageLine(device_record.images[1], 64508) +
                           Format("read 13 bytes: ff 0b 00 0f 00 00 %02x 30 30 37 38 36 00 \n",
                                  static_cast<unsigned>(sequence(plan.probe))) +
                           "Reading from register 0x41\n"
                           "Bootloader version: 2\n"
                           "Unlocking spiflash for write access.\n";
    for (std::uint32_t i = 0; i < plan.flash_erases; ++i)
        expected += EraseLines(i * 0x10000, sequence(plan.flash_erase + i));
    expected += "\n\n" + Format("%u %u\r\n", kWorkTotal, 2u * 802570) +
                "Checksum1: 4f0d8a61\r\n"
                "Checksum2: b0f2759f\r\n" +
                EraseLines(0xD0000, sequence(plan.mcu_erase)) + "\n\n" +
                Format("%u %u\r\n", kWorkTotal, kWorkTotal) +
                "check for start of device reset\n"
                "  1 Norv USB device present, 0 ms\n"
                // leaves 300 ms after the request, returns 1 500 ms later
                "  0 Norv USB device present, 300 ms\r"
                "\ndevice reset in progress\n"
                // the module's handle died when it left
                "handle closed - status 1\n"
                "  0 Norv USB device present, 1000 ms\r"
                "  1 Norv USB device present, 1800 ms\r"
                "\ndevice reappeared at USB\n"
                "device rebooted & programming done\n";
    EXPECT_EQ(run.trace, expected);
}

TEST_F(WholeUpdate, ProgressClimbsTo95ThenShows97And99And100OnceTheModuleIsBack) {
    ASSERT_EQ(StartIdentified("[A17]\n"), 786);
    const UpdateOutcome run = RunUpdate();
    ASSERT_EQ(run.result, 0);
    const std::vector<std::int32_t>& progress = run.progress;
    const RequestPlan plan = PlanOfThisRecord();
    // One report per chunk programmed and per chunk verified, then the three of the restart.
    ASSERT_EQ(progress.size(), 2 * (plan.flash_chunks + plan.mcu_chunks) + 3);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    const std::vector<std::int32_t> writing(progress.begin(), progress.end() - 3);
    EXPECT_LE(*std::max_element(writing.begin(), writing.end()), 95);
    EXPECT_EQ(writing.back(), 95);
    EXPECT_EQ(std::vector<std::int32_t>(progress.end() - 3, progress.end()),
              (std::vector<std::int32_t>{97, 99, 100}));

    // 100 is shown at the last poll, which is 10 ms before the run ends; the module
    // had left and was back by then.
    const std::uint64_t last_poll = run.start_us + run.duration_us - 10 * kMs;
    EXPECT_LT(EventTime("leave"), EventTime("return"));
    EXPECT_LE(EventTime("return"), last_poll);
    EXPECT_GT(EventTime("return"), last_poll - 10 * kMs);
}

TEST_F(WholeUpdate, NoOpenDeviceDoesNothing) {
    ASSERT_EQ(StartIdentified("[A17]\n"), 786);
    usb_library.SI_Close(DeviceHandle);
    DeviceHandle = nullptr;
    SimDoorRecordWire(true);
    const UpdateOutcome run = RunUpdate();
    EXPECT_EQ(run.result, -2);
    EXPECT_EQ(run.trace, "");
    EXPECT_TRUE(run.progress.empty());
    EXPECT_EQ(run.exchanges, 0u);
    EXPECT_TRUE(SimDoorWireLines().empty());
    EXPECT_EQ(run.duration_us, 0u);
}

// A compressed image that does not decode: the run ends before the module is touched,
// and the image decoded before it is released (checked by the leak check).
TEST_F(WholeUpdate, UndecodableImageEndsTheRunBeforeAnyTraffic) {
    ASSERT_EQ(StartIdentified("[A17]\n"), 786);
    static const std::uint8_t not_bzip2[] = {'B', 'Z', 'h', '9', 0x31, 0x41, 0x59, 0x26};
    const ImageEntry images[kMaxImages] = {
        device_record.images[0],
        {0x100000, not_bzip2, sizeof not_bzip2, IMAGE_COMPRESSED},
        device_record.images[1],
    };
    SimDoorRecordWire(true);
    const UpdateOutcome run = RunUpdateWith(images);
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.trace, ImageLine(images[0], 802570) +
                             Format("%5x %p %u %02x -> not decodable\r\n", 0x100000u,
                                    static_cast<const void*>(not_bzip2),
                                    static_cast<unsigned>(sizeof not_bzip2), 0x80u));
    EXPECT_EQ(run.exchanges, 0u);
    EXPECT_TRUE(SimDoorWireLines().empty());
    EXPECT_TRUE(run.progress.empty());
    EXPECT_NE(DeviceHandle, nullptr); // the module was never in question
    EXPECT_EQ(SimDoorVersionText("A17"), "00786");
}

} // namespace
