// The restart in virtual time: leave and return at the configured times, the restart
// faults, and a correct host's whole update ending with violations 0.
#include "sim/inprocess/sim_door.h"
#include "sim/model/boot_check.h"
#include "sim/model/factory_image.h"
#include "sim/tests/test_host.h"
#include "update/pause.h"
#include "usb/usb_scan.h"
#include <gtest/gtest.h>

namespace {

constexpr std::uint64_t kMs = 1000;

class Restart : public ::testing::Test {
  protected:
    void TearDown() override { SimDoorStop(); }

    // Sends the restart request and returns the virtual time it arrived.
    std::uint64_t RequestRestart() {
        TestHost host;
        host.Send(0x30, kWrite, {0x01, 0xAA});
        return SimDoorNowUs();
    }

    // When each event of that name happened, relative to start.
    std::vector<std::uint64_t> TimesOf(const std::string& line, std::uint64_t start) {
        std::vector<std::uint64_t> times;
        for (const SimEvent& event : SimDoorEvents())
            if (event.line == line)
                times.push_back(event.time_us - start);
        return times;
    }
};

std::int32_t ScanCount() {
    UsbDeviceEntry* entries[kMaxUsbDevices];
    std::int32_t count = 0;
    ScanUsbDevices(entries, &count);
    FreeUsbDeviceEntries(entries, count);
    return count;
}

// Polls as the update does: a scan every 10 ms; the counts seen, changes only.
std::vector<std::int32_t> PollCounts(int polls) {
    std::vector<std::int32_t> seen{ScanCount()};
    for (int i = 0; i < polls; ++i) {
        PauseMs(10);
        const std::int32_t count = ScanCount();
        if (count != seen.back())
            seen.push_back(count);
    }
    return seen;
}

TEST_F(Restart, LeavesAndReturnsAtTheConfiguredTimes) {
    StartAndOpen("[A17]\nrestart_leave_ms = 250\nrestart_return_ms = 1000\n");
    const std::uint64_t start = RequestRestart();
    std::uint32_t bytes = 0, queue = 0;
    ASSERT_EQ(usb_library.SI_CheckRXQueue(DeviceHandle, &bytes, &queue), 0);
    EXPECT_EQ(bytes, 0u); // the restart request gets no reply

    SimDoorAdvanceUs(250 * kMs - 1);
    EXPECT_EQ(SimDoorPresentCount(), 1);
    SimDoorAdvanceUs(1);
    EXPECT_EQ(SimDoorPresentCount(), 0);
    EXPECT_NE(usb_library.SI_CheckRXQueue(DeviceHandle, &bytes, &queue), 0); // handle died
    std::uint32_t count = 9;
    usb_library.SI_GetNumDevices(&count);
    EXPECT_EQ(count, 0u);

    SimDoorAdvanceUs(1000 * kMs);
    EXPECT_EQ(SimDoorPresentCount(), 1);
    EXPECT_EQ(TimesOf("restart-request", start), std::vector<std::uint64_t>{0});
    EXPECT_EQ(TimesOf("leave", start), std::vector<std::uint64_t>{250 * kMs});
    EXPECT_EQ(TimesOf("return", start), std::vector<std::uint64_t>{1250 * kMs});
    EXPECT_EQ(SimDoorBoots("A17"), 1);
    EXPECT_EQ(SimDoorViolationCount(), 0);
}

TEST_F(Restart, APollingHostSeesTheModuleLeaveAndReturn) {
    StartAndOpen("[A17]\n");
    RequestRestart();
    EXPECT_EQ(PollCounts(4500), (std::vector<std::int32_t>{1, 0, 1}));
}

TEST_F(Restart, BlinkIsOverBetweenTwoPolls) {
    StartAndOpen("[A17]\nfault = restart-blink\n");
    const std::uint64_t start = RequestRestart();
    EXPECT_EQ(PollCounts(4500), (std::vector<std::int32_t>{1}));
    const std::vector<std::uint64_t> left = TimesOf("leave", start);
    const std::vector<std::uint64_t> back = TimesOf("return", start);
    ASSERT_EQ(left.size(), 1u);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_LT(back[0] - left[0], 5 * kMs);
    EXPECT_EQ(left[0] / (10 * kMs), back[0] / (10 * kMs)); // no poll falls in between
}

TEST_F(Restart, NeverReturns) {
    StartAndOpen("[A17]\nfault = restart-never-returns\n");
    RequestRestart();
    EXPECT_EQ(PollCounts(4500), (std::vector<std::int32_t>{1, 0}));
    EXPECT_EQ(SimDoorBoots("A17"), 0);
}

TEST_F(Restart, NeverLeaves) {
    StartAndOpen("[A17]\nfault = restart-never-leaves\n");
    const std::uint64_t start = RequestRestart();
    EXPECT_EQ(PollCounts(4500), (std::vector<std::int32_t>{1}));
    EXPECT_EQ(TimesOf("restart-request", start).size(), 1u);
    EXPECT_TRUE(TimesOf("leave", start).empty());
    std::uint32_t bytes = 0, queue = 0;
    EXPECT_EQ(usb_library.SI_CheckRXQueue(DeviceHandle, &bytes, &queue), 0); // still open
}

TEST_F(Restart, CorrectHostUpdatesWithoutViolations) {
    StartAndOpen("[A17]\nlatency_us = 50\n");
    EXPECT_EQ(SimDoorStatusLine("A17"), "module A17: present yes, firmware 786, bootloader 2, "
                                        "fpga ok, mcu ok, boots 0, violations 0");
    TestHost host;
    const Bytes framed = SimFrameMcuImage(SimFactoryMcuImage(0x0787), 2);
    const std::uint64_t exchanges_before = SimDoorExchangeCount();
    const std::uint64_t start = SimDoorNowUs();
    ASSERT_EQ(WriteImageAsHost(&host, kMcuImageAddress, framed), 0);
    // Until the restart the module runs the old firmware.
    EXPECT_EQ(SimDoorVersionText("A17"), "00786");
    const std::uint64_t exchanges = SimDoorExchangeCount() - exchanges_before;
    const std::uint64_t chunks = (framed.size() + 127) / 128;
    EXPECT_EQ(exchanges, 1 + 1 + 3 * chunks); // unlock, erase, program, latch and read
    // Every exchange is one write of at most 64 bytes per piece and reads of 64.
    EXPECT_GE(SimDoorNowUs() - start, exchanges * 2 * 50);

    host.Send(0x30, kWrite, {0x01, 0xAA});
    EXPECT_EQ(PollCounts(4500), (std::vector<std::int32_t>{1, 0, 1}));
    EXPECT_EQ(SimDoorStatusLine("A17"), "module A17: present yes, firmware 787, bootloader 2, "
                                        "fpga ok, mcu ok, boots 1, violations 0");
}

} // namespace
