// The reset wait: the module's restart seen only through the count of present
// modules, every 10 ms of nominal time, for at most 4 500 polls.
#include "sim/inprocess/sim_door.h"
#include "update/tests/update_test_support.h"
#include "usb/usb_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

constexpr std::uint64_t kMs = 1000;

class ResetWait : public testing::Test {
  protected:
    void TearDown() override {
        SimDoorStop();
        ExpectNoLeak();
    }
};

// What the run traced from the restart request on.
std::string WaitTrace(const UpdateOutcome& run) {
    const std::string mark = "check for start of device reset\n";
    const std::size_t at = run.trace.find(mark);
    return at == std::string::npos ? std::string() : run.trace.substr(at + mark.size());
}

// The progress line of every whole second from from_ms to to_ms, with that count.
std::string SecondLines(std::int32_t count, std::int32_t from_ms, std::int32_t to_ms) {
    std::string lines;
    for (std::int32_t ms = from_ms; ms <= to_ms; ms += 1000)
        lines += "  " + std::to_string(count) + " Norv USB device present, " + std::to_string(ms) +
                 " ms\r";
    return lines;
}

const std::string kBefore = "  1 Norv USB device present, 0 ms\n";
// The module's handle died when it left; closing it reports the library's status.
const std::string kLeftAt300 = "  0 Norv USB device present, 300 ms\r"
                               "\ndevice reset in progress\n"
                               "handle closed - status 1\n";
const std::string kFailed = "\nwait for device reset failed!\n";

bool ShowedProgress(const UpdateOutcome& run, std::int32_t percent) {
    return std::find(run.progress.begin(), run.progress.end(), percent) != run.progress.end();
}

TEST_F(ResetWait, ModuleThatNeverLeavesFailsAfter4500PollsAndClosesTheLink) {
    ASSERT_EQ(StartIdentified("[A17]\nfault = restart-never-leaves\n"), 786);
    const UpdateOutcome run = RunUpdate();
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(WaitTrace(run),
              kBefore + SecondLines(1, 1000, 45000) + kFailed + "handle closed - status 0\n");
    EXPECT_EQ(DeviceHandle, nullptr);
    EXPECT_EQ(run.progress.back(), 97);
    // 4 499 pauses between the 4 500 polls, after the probe's and the last image's.
    EXPECT_EQ(run.duration_us, (100 + 100 + 4499 * 10) * kMs);
}

TEST_F(ResetWait, ModuleThatNeverReturnsFailsWithoutClosingTwice) {
    ASSERT_EQ(StartIdentified("[A17]\nfault = restart-never-returns\n"), 786);
    const UpdateOutcome run = RunUpdate();
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(WaitTrace(run), kBefore + kLeftAt300 + SecondLines(0, 1000, 45000) + kFailed);
    EXPECT_EQ(DeviceHandle, nullptr);
    EXPECT_EQ(run.progress.back(), 99);
    EXPECT_FALSE(ShowedProgress(run, 100));
}

TEST_F(ResetWait, BlinkBetweenTwoPollsIsNeverSeen) {
    ASSERT_EQ(StartIdentified("[A17]\nfault = restart-blink\n"), 786);
    const UpdateOutcome run = RunUpdate();
    EXPECT_EQ(run.result, -1);
    // The module's handle died with the blink: closing it reports the library's status.
    EXPECT_EQ(WaitTrace(run),
              kBefore + SecondLines(1, 1000, 45000) + kFailed + "handle closed - status 1\n");
    EXPECT_EQ(SimDoorBoots("A17"), 1);
    EXPECT_EQ(DeviceHandle, nullptr);
    EXPECT_EQ(run.progress.back(), 97);
}

// Restart requested at 200 ms of virtual time; leaves 300 ms later. Back at the 4 500th
// poll (nominal 44 990 ms) still counts; one poll later does not.
TEST_F(ResetWait, ModuleBackAtTheLastPollSucceeds) {
    ASSERT_EQ(StartIdentified("[A17]\nrestart_return_ms = 44690\n"), 786);
    const UpdateOutcome run = RunUpdate();
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(WaitTrace(run), kBefore + kLeftAt300 + SecondLines(0, 1000, 44000) +
                                  "  1 Norv USB device present, 44990 ms\r"
                                  "\ndevice reappeared at USB\n"
                                  "device rebooted & programming done\n"
                                  "  1 Norv USB device present, 45000 ms\r");
    EXPECT_EQ(run.progress.back(), 100);
}

TEST_F(ResetWait, ModuleBackOnePollTooLateFails) {
    ASSERT_EQ(StartIdentified("[A17]\nrestart_return_ms = 44700\n"), 786);
    const UpdateOutcome run = RunUpdate();
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(WaitTrace(run), kBefore + kLeftAt300 + SecondLines(0, 1000, 45000) + kFailed);
    EXPECT_FALSE(ShowedProgress(run, 100));
}

// A second module of the same identity changes the count just as the updated one
// does. The library's close and write stand in for a hand at the USB port, at the
// moments that matter.
SiCloseFn door_close = nullptr;
SiWriteFn door_write = nullptr;
const char* plug_at_close = nullptr;
const char* unplug_at_restart = nullptr;

SiStatus USB_CALL CloseAndPlug(SiHandle handle) {
    const SiStatus status = door_close(handle);
    if (plug_at_close != nullptr)
        SimDoorPlug(plug_at_close);
    return status;
}

SiStatus USB_CALL WriteAndUnplugAtRestart(SiHandle handle, const void* buffer, std::uint32_t count,
                                          std::uint32_t* written, void* overlapped) {
    const SiStatus status = door_write(handle, buffer, count, written, overlapped);
    if (unplug_at_restart != nullptr && IsRestartRequest(buffer, count))
        SimDoorUnplug(unplug_at_restart);
    return status;
}

class SecondModule : public ResetWait {
  protected:
    void SetUp() override {
        ASSERT_EQ(StartIdentified("[A17]\n[B20]\n"), 786);
        door_close = usb_library.SI_Close;
        door_write = usb_library.SI_Write;
        usb_library.SI_Close = CloseAndPlug;
        usb_library.SI_Write = WriteAndUnplugAtRestart;
        plug_at_close = nullptr;
        unplug_at_restart = nullptr;
    }
};

TEST_F(SecondModule, PulledAtTheRestartRequestIsTakenForTheDisconnect) {
    unplug_at_restart = "B20";
    const UpdateOutcome run = RunUpdate();
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(WaitTrace(run), "  2 Norv USB device present, 0 ms\n"
                              "  1 Norv USB device present, 0 ms\r"
                              "\ndevice reset in progress\n"
                              "handle closed - status 0\n" +
                                  SecondLines(0, 1000, 1000) + SecondLines(1, 2000, 45000) +
                                  kFailed);
    EXPECT_FALSE(ShowedProgress(run, 100));
}

TEST_F(SecondModule, PluggedWhileWaitingForReconnectEndsTheWaitEarly) {
    SimDoorUnplug("B20");
    plug_at_close = "B20";
    const UpdateOutcome run = RunUpdate();
    // Only counts are compared: the newcomer is taken for the updated module, which is
    // still away.
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(WaitTrace(run), kBefore + kLeftAt300 +
                                  "  1 Norv USB device present, 310 ms\r"
                                  "\ndevice reappeared at USB\n"
                                  "device rebooted & programming done\n");
    EXPECT_EQ(SimDoorBoots("A17"), 0);
    EXPECT_EQ(run.progress.back(), 100);
}

} // namespace
