// The device scan against devices written into the Wine registry, where SetupAPI finds
// them. Runs in a private copy of the test prefix.
#include "usb/tests/nothrow_new_control.h"
#include "usb/usb_scan.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr char kEnumUsb[] = "System\\CurrentControlSet\\Enum\\USB\\";
constexpr char kUsbDeviceClass[] = "{36fc9e60-c465-11cf-8056-444553540000}";
constexpr char kDriverDescription[] = "NORV USB Controller";

struct RegistryDevice {
    std::string serial;
    std::string device_id = "VID_16C0&PID_0618";
    std::vector<std::string> hardware_ids = {"USB\\VID_16C0&PID_0618&REV_0100",
                                             "USB\\VID_16C0&PID_0618"}; // none: no value
    std::optional<std::string> description = kDriverDescription;
    std::string location = "Port_#0001.Hub_#0001";
};

struct ScanResult {
    std::int32_t result;
    std::int32_t count;
    std::vector<UsbDeviceEntry> entries;
};

void SetText(HKEY key, const char* name, DWORD type, const std::string& bytes) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
}

class ScanUsbDevicesTest : public testing::Test {
  protected:
    std::set<std::string> device_ids_;

    void TearDown() override {
        for (const std::string& id : device_ids_)
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, (kEnumUsb + id).c_str());
    }

    // As the simulator plugs a module: the class GUID last, since SetupAPI lists a key only
    // once it has one.
    void Plug(const RegistryDevice& device) {
        device_ids_.insert(device.device_id);
        const std::string path = kEnumUsb + device.device_id + "\\" + device.serial;
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        if (!device.hardware_ids.empty()) {
            std::string multi;
            for (const std::string& id : device.hardware_ids)
                multi += id + '\0';
            SetText(key, "HardwareID", REG_MULTI_SZ, multi + '\0');
        }
        if (device.description)
            SetText(key, "DeviceDesc", REG_SZ, *device.description + '\0');
        SetText(key, "LocationInformation", REG_SZ, device.location + '\0');
        SetText(key, "ClassGUID", REG_SZ, std::string(kUsbDeviceClass) + '\0');
        RegCloseKey(key);
    }

    void Unplug(const RegistryDevice& device) {
        const std::string path = kEnumUsb + device.device_id + "\\" + device.serial;
        ASSERT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str()), ERROR_SUCCESS);
    }

    static ScanResult Scan() {
        UsbDeviceEntry* entries[kMaxUsbDevices];
        for (UsbDeviceEntry*& entry : entries)
            entry = reinterpret_cast<UsbDeviceEntry*>(0x1); // the scan must clear the first
        ScanResult scan = {};
        scan.count = -1;
        scan.result = ScanUsbDevices(entries, &scan.count);
        if (scan.count == 0) {
            EXPECT_EQ(entries[0], nullptr);
        }
        for (std::int32_t i = 0; i < scan.count; ++i)
            scan.entries.push_back(*entries[i]);
        FreeUsbDeviceEntries(entries, scan.count);
        return scan;
    }
};

TEST_F(ScanUsbDevicesTest, NoModuleGivesAnEmptyList) {
    Plug({.serial = "OTHER",
          .device_id = "VID_046D&PID_C077",
          .hardware_ids = {"USB\\VID_046D&PID_C077&REV_7200", "USB\\VID_046D&PID_C077"},
          .description = "USB Input Device"});
    const ScanResult scan = Scan();
    EXPECT_EQ(scan.result, 0);
    EXPECT_EQ(scan.count, 0);
}

TEST_F(ScanUsbDevicesTest, RecordsEachModuleWithOrWithoutTheDriversDescription) {
    Plug({.serial = "A17", .location = "Port_#0001.Hub_#0001"});
    Plug({.serial = "B22", .description = "USB Device", .location = "Port_#0002.Hub_#0001"});
    const ScanResult scan = Scan();
    EXPECT_EQ(scan.result, 0);
    ASSERT_EQ(scan.count, 2);
    EXPECT_STREQ(scan.entries[0].hardware_id, "USB\\VID_16C0&PID_0618&REV_0100");
    EXPECT_STREQ(scan.entries[0].location_info, "Port_#0001.Hub_#0001");
    EXPECT_STREQ(scan.entries[0].device_desc, kDriverDescription);
    EXPECT_STREQ(scan.entries[1].location_info, "Port_#0002.Hub_#0001");
    EXPECT_STREQ(scan.entries[1].device_desc, "USB Device");
}

TEST_F(ScanUsbDevicesTest, LowerCaseHardwareIdMatchesAndIsStoredAsRead) {
    Plug({.serial = "A17", .hardware_ids = {"usb\\vid_16c0&pid_0618&rev_0100"}});
    const ScanResult scan = Scan();
    ASSERT_EQ(scan.count, 1);
    EXPECT_STREQ(scan.entries[0].hardware_id, "usb\\vid_16c0&pid_0618&rev_0100");
}

TEST_F(ScanUsbDevicesTest, OnlyTheFirstHardwareIdTextIsSearched) {
    Plug({.serial = "X1",
          .device_id = "VID_1234&PID_0001",
          .hardware_ids = {"USB\\VID_1234&PID_0001&REV_0001", "USB\\VID_16C0&PID_0618"}});
    const ScanResult scan = Scan();
    EXPECT_EQ(scan.result, 0);
    EXPECT_EQ(scan.count, 0);
}

TEST_F(ScanUsbDevicesTest, DeviceWithoutHardwareIdIsNotMatchedAfterOneThatWas) {
    Plug({.serial = "A1", .location = "first"});
    Plug({.serial = "B2", .hardware_ids = {}, .location = "second"});
    const ScanResult scan = Scan();
    ASSERT_EQ(scan.count, 1);
    EXPECT_STREQ(scan.entries[0].location_info, "first");
}

TEST_F(ScanUsbDevicesTest, ModuleWithoutDescriptionLeavesNoEntryAndNoGap) {
    Plug({.serial = "A1", .description = std::nullopt, .location = "undescribed"});
    Plug({.serial = "B2", .location = "described"});
    const ScanResult scan = Scan();
    EXPECT_EQ(scan.result, 0);
    ASSERT_EQ(scan.count, 1);
    EXPECT_STREQ(scan.entries[0].location_info, "described");
}

TEST_F(ScanUsbDevicesTest, TextsAreCutAt63Characters) {
    const std::string text63(63, 'd');
    const std::string long_id = "USB\\VID_16C0&PID_0618&REV_0100&" + std::string(40, 'h');
    Plug({.serial = "A1", .description = text63, .location = "L1"});
    Plug({.serial = "B2",
          .hardware_ids = {long_id},
          .description = text63 + "e",
          .location = std::string(70, 'l')});
    const ScanResult scan = Scan();
    ASSERT_EQ(scan.count, 2);
    EXPECT_EQ(std::string(scan.entries[0].device_desc), text63);
    EXPECT_EQ(std::string(scan.entries[1].device_desc), text63);
    EXPECT_EQ(std::string(scan.entries[1].hardware_id), long_id.substr(0, 63));
    EXPECT_EQ(std::string(scan.entries[1].location_info), std::string(63, 'l'));
}

TEST_F(ScanUsbDevicesTest, AtMost32ModulesAreRecorded) {
    for (int i = 0; i < 33; ++i) {
        char serial[8];
        std::snprintf(serial, sizeof serial, "M%02d", i);
        Plug({.serial = serial, .location = serial});
    }
    const ScanResult scan = Scan();
    EXPECT_EQ(scan.result, 0);
    ASSERT_EQ(scan.count, 32);
    std::set<std::string> locations;
    for (const UsbDeviceEntry& entry : scan.entries)
        locations.insert(entry.location_info);
    EXPECT_EQ(locations.size(), 32u);
}

TEST_F(ScanUsbDevicesTest, EntryThatCannotBeAllocatedIsSkipped) {
    Plug({.serial = "A1", .location = "first"});
    Plug({.serial = "B2", .location = "second"});
    Plug({.serial = "C3", .location = "third"});
    nothrow_new_fail_at = 2;
    const ScanResult scan = Scan();
    nothrow_new_fail_at = 0;
    ASSERT_EQ(scan.count, 2);
    EXPECT_STREQ(scan.entries[0].location_info, "first");
    EXPECT_STREQ(scan.entries[1].location_info, "third");
}

TEST_F(ScanUsbDevicesTest, PlugAndUnplugShowInTheNextScan) {
    const RegistryDevice module = {.serial = "A17"};
    EXPECT_EQ(Scan().count, 0);
    Plug(module);
    EXPECT_EQ(Scan().count, 1);
    Unplug(module);
    EXPECT_EQ(Scan().count, 0);
}

} // namespace
