// The installations with the payload the program carries, the stand-in set: its library
// binds from where InstallUsbLibrary puts it, and its driver package's installer, started
// by InstallDriverPackage from the package's own directory, binds the simulated module to
// the driver. Runs in a private
// copy of the test prefix with a simulator state directory of its own (ZANDACORE_SIM_DIR)
// and simctl.exe and the stand-in installer beside this program.
#include "payload/blobs.h"
#include "payload/bz2_decoder.h"
#include "payload/tests/tar_test_support.h"
#include "usb/tests/wine_test_paths.h"
#include "usb/usb_binding.h"
#include "usb/usb_install.h"
#include "usb/usb_library.h"
#include "usb/usb_scan.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using tar_test::ReadFile;

std::string ProgramDirectory() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory = path;
    return directory.substr(0, directory.rfind('\\') + 1);
}

std::string StateFile(const char* name) {
    const char* directory = std::getenv("ZANDACORE_SIM_DIR");
    return FromUnix(std::string(directory != nullptr ? directory : "/nonexistent") + "/" + name);
}

// Runs simctl with ARGUMENTS to its end; its exit code, or -1 when it did not start.
int Simctl(const std::string& arguments) {
    // Built piece by piece: GCC 12 at -O3 warns wrongly on a chain of + here.
    std::string line = ProgramDirectory();
    line.insert(0, 1, '"');
    line += "simctl.exe\" ";
    line += arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return static_cast<int>(code);
}

void WriteScenario(const std::string& text) {
    tar_test::WriteFile(StateFile("module.ini"), text);
}

std::vector<std::string> ScannedDescriptions() {
    UsbDeviceEntry* entries[kMaxUsbDevices];
    std::int32_t count = 0;
    ScanUsbDevices(entries, &count);
    std::vector<std::string> descriptions;
    for (std::int32_t i = 0; i < count; ++i)
        descriptions.push_back(entries[i]->device_desc);
    FreeUsbDeviceEntries(entries, count);
    return descriptions;
}

TEST(CarriedPayload, LibraryThatDidNotLoadIsInstalledAndThenBinds) {
    WriteScenario("[A17]\n");
    ASSERT_EQ(Simctl("plug"), 0);
    ASSERT_EQ(BindUsbLibrary(), nullptr) << "a fresh prefix has no USB library";

    EXPECT_EQ(InstallUsbLibrary(), 0);
    std::uint32_t length = 0;
    std::uint8_t* library = Bz2DecodeToHeap(usb_library_bz2, usb_library_bz2_len, &length);
    ASSERT_NE(library, nullptr);
    const std::string on_disk = ReadFile(SystemLibraryOnDisk());
    EXPECT_EQ(on_disk, std::string(library, library + length));
    std::free(library);

    ASSERT_NE(BindUsbLibrary(), nullptr);
    std::uint32_t count = 0;
    EXPECT_EQ(usb_library.SI_GetNumDevices(&count), 0);
    EXPECT_EQ(count, 1u);
    char serial[256] = {};
    usb_library.SI_GetProductString(0, serial, 0);
    EXPECT_STREQ(serial, "A17");
    ReleaseUsbLibrary();
    EXPECT_EQ(Simctl("unplug"), 0);
}

TEST(CarriedPayload, DriverPackageUnpacksBelowWindowsTempAndItsInstallerBindsTheDriver) {
    WriteScenario("[B5]\ndriver = missing\n"); // a module the other case never plugged
    ASSERT_EQ(Simctl("plug"), 0);
    ASSERT_EQ(ScannedDescriptions(), std::vector<std::string>{"USB Device"});
    // A user's temporary directory named outside the Western code page, which the package
    // never touches.
    ASSERT_EQ(GetACP(), 1252u);
    const std::string temp = "C:\\Анна-数据";
    ASSERT_TRUE(CreateDirectoryW(Wide(temp).c_str(), nullptr));
    ASSERT_TRUE(SetEnvironmentVariableW(L"TEMP", Wide(temp).c_str()));

    // The installer gets the system's environment alone: the state directory is the machine's.
    const char* state = std::getenv("ZANDACORE_SIM_DIR");
    ASSERT_NE(state, nullptr);
    ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE,
                              "System\\CurrentControlSet\\Control\\Session Manager\\Environment",
                              "ZANDACORE_SIM_DIR", REG_SZ, state,
                              static_cast<DWORD>(std::strlen(state) + 1)),
              ERROR_SUCCESS);

    const std::string events = StateFile("events.log");
    const std::string events_before = ReadFile(events);
    EXPECT_EQ(InstallDriverPackage(), 0);
    EXPECT_TRUE(Entries(temp).empty());
    const std::string directory = PackageDirectoryBelow(WindowsTemp());
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(ReadUtf8File(directory + "NorvUSBInstaller.exe"),
              ReadFile(ProgramDirectory() + "NorvUSBInstaller.exe"));
    const char* sources = std::getenv("ZC_USB_PACKAGE_SOURCES");
    ASSERT_NE(sources, nullptr);
    for (const char* member : {"NorvUSB.inf", "setup.ini", "siusbxp.cat", "x86\\SiUSBXp.sys",
                               "x86\\SiLib.sys", "x64\\SiUSBXp.sys", "x64\\SiLib.sys"}) {
        const std::string unpacked = ReadUtf8File(directory + member);
        EXPECT_FALSE(unpacked.empty()) << member;
        EXPECT_EQ(unpacked, ReadFile(FromUnix(sources) + "\\" + member)) << member;
    }

    // The installer runs on its own; it logs when it has bound the driver.
    for (int waited = 0;
         waited < 600 && ReadFile(events).find("driver-installed") == std::string::npos; ++waited)
        Sleep(100);
    EXPECT_EQ(ReadFile(events), events_before + "driver-installed\n");
    EXPECT_EQ(ScannedDescriptions(), std::vector<std::string>{"NORV USB Controller"});
}

} // namespace
