// What native tests of the program get from the door: the device scan, the library's
// device list, the virtual clock with latency, plugging at run time.
#include "sim/inprocess/sim_door.h"
#include "sim/tests/test_host.h"
#include "update/pause.h"
#include "usb/usb_scan.h"
#include <cstring>
#include <gtest/gtest.h>

namespace {

class NativeSeams : public ::testing::Test {
  protected:
    void TearDown() override { SimDoorStop(); }
};

const char kTwoModules[] = "[p01]\ndriver = missing\nlocation = Port_#0002.Hub_#0001\n"
                           "[A17]\n";

TEST_F(NativeSeams, ScanListsPresentModulesWithTheirDescriptions) {
    std::string error;
    ASSERT_EQ(SimDoorStart(kTwoModules, &error), 0) << error;
    UsbDeviceEntry* entries[kMaxUsbDevices];
    std::int32_t count = 0;
    ASSERT_EQ(ScanUsbDevices(entries, &count), 0);
    ASSERT_EQ(count, 2);
    EXPECT_STREQ(entries[0]->hardware_id, "USB\\VID_16C0&PID_0618&REV_0100");
    EXPECT_STREQ(entries[0]->location_info, "Port_#0002.Hub_#0001");
    EXPECT_STREQ(entries[0]->device_desc, "USB Device");
    EXPECT_STREQ(entries[1]->device_desc, "NORV USB Controller");
    FreeUsbDeviceEntries(entries, count);

    SimDoorInstallDriver();
    ASSERT_EQ(ScanUsbDevices(entries, &count), 0);
    EXPECT_STREQ(entries[0]->device_desc, "NORV USB Controller");
    FreeUsbDeviceEntries(entries, count);
    EXPECT_EQ(SimDoorEvents().back().line, "driver-installed");
}

TEST_F(NativeSeams, LibrarySeesOnlyModulesWithTheDriver) {
    std::string error;
    ASSERT_EQ(SimDoorStart(kTwoModules, &error), 0) << error;
    SimDoorFillUsbLibrary();
    EXPECT_NE(usb_library.module, nullptr);
    std::uint32_t count = 0;
    ASSERT_EQ(usb_library.SI_GetNumDevices(&count), 0);
    ASSERT_EQ(count, 1u);
    char text[256] = {};
    ASSERT_EQ(usb_library.SI_GetProductString(0, text, 0), 0);
    EXPECT_STREQ(text, "A17");

    SimDoorInstallDriver();
    ASSERT_EQ(usb_library.SI_GetNumDevices(&count), 0);
    ASSERT_EQ(count, 2u);
    ASSERT_EQ(usb_library.SI_GetProductString(0, text, 0), 0);
    EXPECT_STREQ(text, "p01");
    SiHandle handle = nullptr;
    EXPECT_NE(usb_library.SI_Open(2, &handle), 0);
}

TEST_F(NativeSeams, PauseAndLatencyMoveTheVirtualClock) {
    StartAndOpen("[A17]\nlatency_us = 40\n");
    const std::uint64_t start = SimDoorNowUs();
    PauseMs(100);
    EXPECT_EQ(SimDoorNowUs() - start, 100u * 1000);
    TestHost host;
    const ReadResult reply = host.Exchange(0x41, kRead); // one write, one read
    ASSERT_EQ(reply.status, 0);
    EXPECT_EQ(SimDoorNowUs() - start, 100u * 1000 + 2 * 40);
}

TEST_F(NativeSeams, UnplugKillsTheHandleAndPlugBringsTheModuleBack) {
    StartAndOpen("[A17]\n");
    SimDoorRecordWire(true);
    TestHost host;
    ASSERT_EQ(host.Exchange(0x41, kRead).status, 0);
    ASSERT_EQ(SimDoorUnplug("A17"), 0);
    EXPECT_EQ(SimDoorPresentCount(), 0);
    EXPECT_NE(WriteFrame(RequestFrame(RegisterBody(0xAB, 0x41, kRead))), 0);
    ASSERT_EQ(SimDoorPlug("A17"), 0);
    EXPECT_EQ(SimDoorUnplug("B2"), -1);
    ASSERT_EQ(usb_library.SI_Open(0, &DeviceHandle), 0);
    EXPECT_EQ(host.Exchange(0x41, kRead).status, 0);
    std::vector<std::string> lines;
    for (const SimEvent& event : SimDoorEvents())
        lines.push_back(event.line);
    EXPECT_EQ(lines, (std::vector<std::string>{"plug", "open", "unplug", "plug", "open"}));
    ASSERT_EQ(SimDoorWireLines().size(), 4u);
    EXPECT_EQ(SimDoorWireLines()[0], "W A17 ff 06 00 0f 00 00 aa 41 fa ff");
    EXPECT_EQ(SimDoorWireLines()[1].substr(0, 8), "R A17 ff");
}

TEST_F(NativeSeams, BadConfigurationKeepsTheBusAndSaysWhy) {
    std::string error;
    ASSERT_EQ(SimDoorStart("[A17]\n", &error), 0);
    EXPECT_EQ(SimDoorStart("[B2]\nspeed = 3\n", &error), -1);
    EXPECT_EQ(error, "line 2: unknown key speed");
    EXPECT_EQ(SimDoorPresentCount(), 1);
    EXPECT_EQ(SimDoorStatusLine("A17").substr(0, 24), "module A17: present yes,");
}

} // namespace
