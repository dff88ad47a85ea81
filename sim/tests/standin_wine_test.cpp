// The stand-in world under Wine: the stand-in SiUSBXp.dll loaded from the system
// directory, simctl putting modules where SetupAPI finds them, a restart seen by a
// 10 ms poll, and the carried package's installer binding the driver. Each case runs
// alone in its own copy of the prefix with its own state directory
// (scripts/wine-run-private), with simctl.exe beside this program.
#include "payload/blobs.h"
#include "payload/bz2_decoder.h"
#include "payload/tar_extract.h"
#include "sim/model/state_files.h"
#include "sim/tests/test_host.h"
#include "sim/windows/bus_session_win.h"
#include "sim/windows/state_dir_win.h"
#include <windows.h>
// After windows.h.
#include <setupapi.h>

#include <algorithm>
#include <gtest/gtest.h>

namespace {

const std::string kModuleKey = "System\\CurrentControlSet\\Enum\\USB\\VID_16C0&PID_0618\\";

std::string StateDir() {
    std::string dir;
    EXPECT_TRUE(SimStateDirFromEnvironment(&dir)) << "ZANDACORE_SIM_DIR is not set";
    return dir + "\\";
}

std::string ProgramDir() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir = path;
    return dir.substr(0, dir.find_last_of('\\') + 1);
}

void WriteModuleIni(const std::string& text) {
    std::FILE* file = std::fopen((StateDir() + "module.ini").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

std::string StateFile(const char* name) {
    std::string text;
    SimReadFile(StateDir() + name, &text);
    return text;
}

// Runs a program to its end with its standard output and error in *output; its exit
// code, or -1 when it could not be started.
int RunProgram(const std::string& command_line, const std::string& directory,
               std::string* output = nullptr) {
    const std::string output_path = StateDir() + "program-output.txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(output_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return -1;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION process{};
    std::string line = command_line;
    const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        directory.c_str(), &startup, &process);
    CloseHandle(out);
    if (!started)
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    if (output)
        SimReadFile(output_path, output);
    return static_cast<int>(code);
}

int Simctl(const std::string& arguments, std::string* output = nullptr) {
    std::string line = ProgramDir(); // appended piece by piece: GCC 12 at -O3 warns on a + chain
    line.insert(0, 1, '"');
    line += "simctl.exe\" ";
    line += arguments;
    return RunProgram(line, ProgramDir(), output);
}

struct ListedModule {
    std::string hardware_ids; // the multi-string, texts separated by '|'
    std::string description;
    std::string location;
    bool operator==(const ListedModule&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ListedModule& module) {
    return out << "{" << module.hardware_ids << ", " << module.description << ", "
               << module.location << "}";
}

std::string Property(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property) {
    char buffer[1024] = {};
    DWORD size = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(set, device, property, nullptr,
                                           reinterpret_cast<BYTE*>(buffer), sizeof buffer - 2,
                                           &size))
        return "(none)";
    std::string text(buffer, size);
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    for (char& c : text)
        c = c == '\0' ? '|' : c;
    return text;
}

// The modules SetupAPI lists as the program's scan asks for them, in location order.
std::vector<ListedModule> ListModules() {
    std::vector<ListedModule> modules;
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, "USB", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return modules;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        const std::string ids = Property(set, &device, SPDRP_HARDWAREID);
        if (ids.find("VID_16C0&PID_0618") == std::string::npos)
            continue;
        modules.push_back({ids, Property(set, &device, SPDRP_DEVICEDESC),
                           Property(set, &device, SPDRP_LOCATION_INFORMATION)});
    }
    SetupDiDestroyDeviceInfoList(set);
    std::sort(modules.begin(), modules.end(),
              [](const ListedModule& a, const ListedModule& b) { return a.location < b.location; });
    return modules;
}

constexpr char kHardwareIds[] = "USB\\VID_16C0&PID_0618&REV_0100|USB\\VID_16C0&PID_0618";

bool KeyExists(const std::string& serial) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kModuleKey + serial).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void RecreateKeyAsAScanWould(const std::string& serial) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kModuleKey + serial).c_str(), 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const char guid[] = "{36fc9e60-c465-11cf-8056-444553540000}";
    RegSetValueExA(key, "ClassGUID", 0, REG_SZ, reinterpret_cast<const BYTE*>(guid), sizeof guid);
    RegCloseKey(key);
}

template <typename Entry> void Resolve(HMODULE library, const char* name, Entry* entry) {
    *entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

double NowMs() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Loads SiUSBXp.dll as the program does and fills the library table from it.
HMODULE LoadStandinLibrary() {
    HMODULE library = LoadLibraryA("SiUSBXp.dll");
    if (!library)
        return nullptr;
    usb_library.module = library;
    Resolve(library, "SI_GetNumDevices", &usb_library.SI_GetNumDevices);
    Resolve(library, "SI_GetProductString", &usb_library.SI_GetProductString);
    Resolve(library, "SI_SetTimeouts", &usb_library.SI_SetTimeouts);
    Resolve(library, "SI_Open", &usb_library.SI_Open);
    Resolve(library, "SI_Close", &usb_library.SI_Close);
    Resolve(library, "SI_CheckRXQueue", &usb_library.SI_CheckRXQueue);
    Resolve(library, "SI_Read", &usb_library.SI_Read);
    Resolve(library, "SI_Write", &usb_library.SI_Write);
    return library;
}

std::uint32_t DeviceCount() {
    std::uint32_t count = 99;
    usb_library.SI_GetNumDevices(&count);
    return count;
}

void OpenFirstModule() {
    ASSERT_EQ(usb_library.SI_Open(0, &DeviceHandle), 0);
    usb_library.SI_SetTimeouts(0xFFFFFF, 0xFFFFFF);
}

TEST(StandinWorld, LibraryLoadsFromTheSystemDirectoryAndServesTheModule) {
    WriteModuleIni("[A17]\nlatency_us = 5000\n");
    HMODULE library = LoadStandinLibrary();
    ASSERT_NE(library, nullptr);
    char loaded[MAX_PATH] = {};
    char system[MAX_PATH] = {};
    GetModuleFileNameA(library, loaded, MAX_PATH);
    GetSystemDirectoryA(system, MAX_PATH);
    EXPECT_EQ(lstrcmpiA(loaded, (std::string(system) + "\\SiUSBXp.dll").c_str()), 0) << loaded;
    for (const char* name : {"SI_GetNumDevices", "SI_GetProductString", "SI_SetTimeouts", "SI_Open",
                             "SI_Close", "SI_CheckRXQueue", "SI_Read", "SI_Write"})
        EXPECT_NE(GetProcAddress(library, name), nullptr) << name;

    EXPECT_EQ(DeviceCount(), 0u); // nothing plugged yet
    ASSERT_EQ(Simctl("plug"), 0);
    EXPECT_EQ(DeviceCount(), 1u);
    char serial[256] = {};
    EXPECT_EQ(usb_library.SI_GetProductString(0, serial, 0), 0);
    EXPECT_STREQ(serial, "A17");

    OpenFirstModule();
    TestHost host;
    const double before_send = NowMs();
    host.Send(0x09, kRead);
    EXPECT_GE(NowMs() - before_send, 4.9); // the module's latency
    std::uint32_t bytes = 0, queue = 0;
    ASSERT_EQ(usb_library.SI_CheckRXQueue(DeviceHandle, &bytes, &queue), 0);
    EXPECT_EQ(queue & SI_RX_READY, SI_RX_READY);
    const ReadResult reply = ReadReply();
    ASSERT_EQ(reply.status, 0);
    ASSERT_TRUE(ReplyChecksumOk(reply.decoded));
    EXPECT_EQ(std::string(reply.decoded.begin() + 7, reply.decoded.begin() + 12), "00786");
    EXPECT_EQ(usb_library.SI_Close(DeviceHandle), 0);

    std::string status;
    EXPECT_EQ(Simctl("status", &status), 0);
    EXPECT_EQ(status, "module A17: present yes, firmware 786, bootloader 2, fpga ok, mcu ok, "
                      "boots 0, violations 0\n");
    EXPECT_EQ(StateFile("events.log"), "plug\nopen\nclose\n");
    const std::string wire = StateFile("wire.log");
    EXPECT_EQ(wire.rfind("W A17 ff 06 00 0f 00 00 aa 09 ", 0), 0u) << wire;
    EXPECT_NE(wire.find("\nR A17 ff 0b 00 0f 00 00 aa 30 30 37 38 36 00 "), std::string::npos)
        << wire;
    FreeLibrary(library);
}

TEST(StandinWorld, SimctlPutsModulesWhereSetupApiFindsThem) {
    WriteModuleIni("[A17]\n[B2]\ndriver = missing\nlocation = Port_#0002.Hub_#0001\n");
    EXPECT_TRUE(ListModules().empty());
    ASSERT_EQ(Simctl("plug"), 0);
    const ListedModule a17{kHardwareIds, "NORV USB Controller", "Port_#0001.Hub_#0001"};
    const ListedModule b2{kHardwareIds, "USB Device", "Port_#0002.Hub_#0001"};
    EXPECT_EQ(ListModules(), (std::vector<ListedModule>{a17, b2}));

    ASSERT_EQ(Simctl("unplug A17"), 0);
    EXPECT_EQ(ListModules(), std::vector<ListedModule>{b2});
    EXPECT_FALSE(KeyExists("A17"));

    std::string output;
    EXPECT_EQ(Simctl("status", &output), 0);
    EXPECT_EQ(output, "module A17: present no, firmware 786, bootloader 2, fpga ok, mcu ok, "
                      "boots 0, violations 0\n"
                      "module B2: present yes, firmware 786, bootloader 2, fpga ok, mcu ok, "
                      "boots 0, violations 0\n");
    EXPECT_EQ(Simctl("plug Z9", &output), 1);
    EXPECT_EQ(output, "simctl: no module Z9 in module.ini\n");
    WriteModuleIni("[A17]\nlatency = 5\n");
    EXPECT_EQ(Simctl("status", &output), 1);
    EXPECT_NE(output.find("module.ini line 2"), std::string::npos) << output;
}

// This process as one of the bus's users, as simctl is.
void OnBus(void (*change)(SimBus* bus)) {
    std::string error;
    SimBus* bus = SimSessionBegin(&error);
    ASSERT_NE(bus, nullptr) << error;
    change(bus);
    EXPECT_EQ(SimSessionEnd(&error), 0) << error;
}

TEST(StandinWorld, UnplugDeletesTheKeyAgainWhenAScanRecreatedIt) {
    WriteModuleIni("[A17]\n");
    OnBus([](SimBus* bus) { SimPlug(bus, &bus->modules[0]); });
    ASSERT_TRUE(KeyExists("A17"));
    OnBus([](SimBus* bus) { SimUnplug(bus, &bus->modules[0]); });
    EXPECT_FALSE(KeyExists("A17"));
    // What a scan running during the deletion leaves: the key with its class alone.
    RecreateKeyAsAScanWould("A17");
    SimSessionSettle();
    EXPECT_FALSE(KeyExists("A17"));
    EXPECT_TRUE(ListModules().empty());

    // Back before the re-check: the re-check leaves the new key alone.
    OnBus([](SimBus* bus) { SimPlug(bus, &bus->modules[0]); });
    OnBus([](SimBus* bus) { SimUnplug(bus, &bus->modules[0]); });
    OnBus([](SimBus* bus) { SimPlug(bus, &bus->modules[0]); });
    SimSessionSettle();
    EXPECT_EQ(ListModules(), (std::vector<ListedModule>{
                                 {kHardwareIds, "NORV USB Controller", "Port_#0001.Hub_#0001"}}));
    EXPECT_EQ(StateFile("events.log"), "plug\nunplug\nplug\nunplug\nplug\n");
}

TEST(StandinWorld, RestartIsSeenLeavingAndReturningByA10msPoll) {
    WriteModuleIni("[A17]\nrestart_leave_ms = 200\nrestart_return_ms = 600\n");
    ASSERT_EQ(Simctl("plug"), 0);
    HMODULE library = LoadStandinLibrary();
    ASSERT_NE(library, nullptr);
    OpenFirstModule();
    TestHost host;
    const double before_request = NowMs();
    host.Send(0x30, kWrite, {0x01, 0xAA});

    // As the update waits: a scan every 10 ms, the counts seen (changes only).
    std::vector<std::size_t> counts{ListModules().size()};
    std::vector<double> change_ms;
    for (int poll = 0; poll < 1000 && counts != std::vector<std::size_t>{1, 0, 1}; ++poll) {
        Sleep(10);
        const std::size_t count = ListModules().size();
        if (count != counts.back()) {
            counts.push_back(count);
            change_ms.push_back(NowMs() - before_request);
        }
    }
    ASSERT_EQ(counts, (std::vector<std::size_t>{1, 0, 1}));
    // A busy machine only makes a poll see a change later, never earlier.
    EXPECT_GE(change_ms[0], 199.0);
    EXPECT_GE(change_ms[1], 799.0);

    std::uint32_t bytes = 0, queue = 0;
    EXPECT_NE(usb_library.SI_CheckRXQueue(DeviceHandle, &bytes, &queue), 0); // died on leaving
    EXPECT_EQ(DeviceCount(), 1u);
    std::string status;
    EXPECT_EQ(Simctl("status", &status), 0);
    EXPECT_EQ(status, "module A17: present yes, firmware 786, bootloader 2, fpga ok, mcu ok, "
                      "boots 1, violations 0\n");
    EXPECT_EQ(StateFile("events.log"),
              "plug\nopen\nrestart-request\nleave\nboot fpga ok, mcu ok\nreturn\n");
    FreeLibrary(library);
}

TEST(StandinWorld, InstallerOfTheCarriedPackageBindsTheDriver) {
    WriteModuleIni("[A17]\ndriver = missing\n");
    ASSERT_EQ(Simctl("plug"), 0);
    ASSERT_EQ(ListModules().size(), 1u);
    EXPECT_EQ(ListModules()[0].description, "USB Device");
    HMODULE library = LoadStandinLibrary();
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(DeviceCount(), 0u); // the vendor library sees only modules on its driver

    std::vector<std::uint8_t> package(500000, 0);
    ASSERT_EQ(Bz2DecodeToBuffer(driver_package_bz2, driver_package_bz2_len, package.data(),
                                static_cast<std::uint32_t>(package.size())),
              0);
    const std::string unpacked = StateDir() + "package\\";
    ASSERT_TRUE(CreateDirectoryA(unpacked.c_str(), nullptr));
    ASSERT_EQ(TarExtract(package.data(), package.size(), unpacked.c_str()), TarOk);
    EXPECT_EQ(RunProgram("\"" + unpacked + "NorvUSBInstaller.exe\"", unpacked), 0);

    ASSERT_EQ(ListModules().size(), 1u);
    EXPECT_EQ(ListModules()[0].description, "NORV USB Controller");
    EXPECT_EQ(DeviceCount(), 1u);
    EXPECT_EQ(StateFile("events.log"), "plug\ndriver-installed\n");
    FreeLibrary(library);
}

} // namespace
