// Binding the library and the two installations in a private copy of the test prefix,
// where they may change the system directory. The program runs from a directory that also
// holds the test libraries and is its current directory.
#include "payload/tar_extract.h"
#include "payload/tests/tar_test_support.h"
#include "usb/tests/nothrow_new_control.h"
#include "usb/tests/wine_test_paths.h"
#include "usb/usb_binding.h"
#include "usb/usb_install.h"
#include "usb/usb_library.h"

#include <windows.h>

#include <sddl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using tar_test::ReadFile;
using tar_test::WriteFile;

std::string ProgramDirectory() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory = path;
    return directory.substr(0, directory.rfind('\\') + 1);
}

std::string SystemLibrary() {
    char directory[MAX_PATH] = {};
    GetSystemDirectoryA(directory, MAX_PATH);
    return std::string(directory) + "\\SiUSBXp.dll";
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    const std::string text = ReadFile(path);
    return {text.begin(), text.end()};
}

void RemoveLibraryFiles() {
    DeleteFileA(SystemLibrary().c_str());
    RemoveDirectoryA(SystemLibrary().c_str());
    DeleteFileA((ProgramDirectory() + "SiUSBXp.dll").c_str());
}

class SystemDirectoryTest : public testing::Test {
  protected:
    void SetUp() override { RemoveLibraryFiles(); }
    void TearDown() override {
        ReleaseUsbLibrary();
        RemoveLibraryFiles();
    }
    static void PlaceAsSystemLibrary(const char* test_library) {
        ASSERT_TRUE(
            CopyFileA((ProgramDirectory() + test_library).c_str(), SystemLibrary().c_str(), FALSE));
    }
    static bool TableIsEmpty() {
        const UsbLibrary empty = {};
        return std::memcmp(&usb_library, &empty, sizeof empty) == 0;
    }
};

using BindUsbLibraryTest = SystemDirectoryTest;

TEST_F(BindUsbLibraryTest, NoLibraryGivesNull) {
    EXPECT_EQ(BindUsbLibrary(), nullptr);
    EXPECT_TRUE(TableIsEmpty());
}

TEST_F(BindUsbLibraryTest, LibraryInTheSystemDirectoryIsBoundEntryByEntry) {
    PlaceAsSystemLibrary("usb_test_entries8.dll");
    void* module = BindUsbLibrary();
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module, GetModuleHandleA("SiUSBXp.dll"));
    EXPECT_EQ(usb_library.module, module);

    std::uint32_t value = 0;
    SiHandle handle = nullptr;
    std::uint8_t bytes[64] = {};
    EXPECT_EQ(usb_library.SI_GetNumDevices(&value), 101);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(usb_library.SI_GetProductString(0, bytes, 0), 102);
    EXPECT_EQ(usb_library.SI_SetTimeouts(1, 1), 103);
    EXPECT_EQ(usb_library.SI_Open(0, &handle), 104);
    EXPECT_EQ(usb_library.SI_Close(handle), 105);
    EXPECT_EQ(usb_library.SI_CheckRXQueue(handle, &value, &value), 106);
    EXPECT_EQ(usb_library.SI_Read(handle, bytes, 64, &value, nullptr), 107);
    EXPECT_EQ(usb_library.SI_Write(handle, bytes, 64, &value, nullptr), 108);
}

TEST_F(BindUsbLibraryTest, ReleaseUnloadsTheLibraryAndLeavesTheDeviceHandle) {
    PlaceAsSystemLibrary("usb_test_entries8.dll");
    ASSERT_NE(BindUsbLibrary(), nullptr);
    DeviceHandle = reinterpret_cast<SiHandle>(0x1234);
    ReleaseUsbLibrary();
    EXPECT_EQ(GetModuleHandleA("SiUSBXp.dll"), nullptr);
    EXPECT_TRUE(TableIsEmpty());
    EXPECT_EQ(DeviceHandle, reinterpret_cast<SiHandle>(0x1234));
    DeviceHandle = nullptr;
    ReleaseUsbLibrary(); // nothing bound: nothing to release
    EXPECT_TRUE(TableIsEmpty());
}

TEST_F(BindUsbLibraryTest, CopyBesideTheProgramIsNeverLoaded) {
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    ASSERT_EQ(std::string(current) + "\\", ProgramDirectory())
        << "run from the program's directory";
    ASSERT_TRUE(CopyFileA((ProgramDirectory() + "usb_test_entries8.dll").c_str(),
                          (ProgramDirectory() + "SiUSBXp.dll").c_str(), FALSE));
    EXPECT_EQ(BindUsbLibrary(), nullptr);
    EXPECT_EQ(GetModuleHandleA("SiUSBXp.dll"), nullptr);
}

TEST_F(BindUsbLibraryTest, LibraryLackingAnEntryPointIsReleased) {
    PlaceAsSystemLibrary("usb_test_entries7.dll");
    EXPECT_EQ(BindUsbLibrary(), nullptr);
    EXPECT_EQ(GetModuleHandleA("SiUSBXp.dll"), nullptr);
    EXPECT_TRUE(TableIsEmpty());
}

using InstallUsbLibraryTest = SystemDirectoryTest;

std::vector<std::uint8_t> CompressedTestLibrary() {
    return ReadBytes(TestDataPath("usb_test_entries8.dll.bz2"));
}

TEST_F(InstallUsbLibraryTest, LandsInThe32BitSystemDirectoryAndBinds) {
    const std::vector<std::uint8_t> compressed = CompressedTestLibrary();
    ASSERT_FALSE(compressed.empty());
    EXPECT_EQ(
        InstallUsbLibraryFrom(compressed.data(), static_cast<std::uint32_t>(compressed.size())), 0);
    EXPECT_EQ(ReadFile(SystemLibraryOnDisk()),
              ReadFile(ProgramDirectory() + "usb_test_entries8.dll"));
    EXPECT_NE(BindUsbLibrary(), nullptr);
}

TEST_F(InstallUsbLibraryTest, LongerExistingLibraryIsReplacedWhole) {
    const std::string library = ReadFile(ProgramDirectory() + "usb_test_entries8.dll");
    WriteFile(SystemLibrary(), tar_test::Pattern(3 * library.size()));
    const std::vector<std::uint8_t> compressed = CompressedTestLibrary();
    EXPECT_EQ(
        InstallUsbLibraryFrom(compressed.data(), static_cast<std::uint32_t>(compressed.size())), 0);
    EXPECT_EQ(ReadFile(SystemLibrary()), library);
}

TEST_F(InstallUsbLibraryTest, UnwritableLibraryFileGivesMinus4) {
    ASSERT_TRUE(CreateDirectoryA(SystemLibrary().c_str(), nullptr));
    const std::vector<std::uint8_t> compressed = CompressedTestLibrary();
    EXPECT_EQ(
        InstallUsbLibraryFrom(compressed.data(), static_cast<std::uint32_t>(compressed.size())),
        InstallLibraryNotWritten);
}

// The driver package of the test data, unpacked into a new directory below the Windows
// directory's Temp. TEMP, the user's, names a directory outside the ANSI code page that
// must stay untouched.
class InstallDriverPackageTest : public testing::Test {
  protected:
    std::wstring saved_temp_;
    std::string temp_;

    void SetUp() override {
        ASSERT_EQ(GetACP(), 1252u) << "a Western code page, which has no Cyrillic or CJK";
        wchar_t saved[kPathSize] = {};
        GetEnvironmentVariableW(L"TEMP", saved, kPathSize);
        saved_temp_ = saved;
        temp_ = std::string("C:\\zc-Анна-数据-") +
                testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_TRUE(CreateDirectoryW(Wide(temp_).c_str(), nullptr));
        SetEnvironmentVariableW(L"TEMP", Wide(temp_).c_str());
        RemovePackageDirectories(WindowsTemp());
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"TEMP", saved_temp_.c_str());
        nothrow_new_fail_at = 0;
        nothrow_new_stale_bytes.clear();
    }
    static std::int32_t Install() {
        const std::vector<std::uint8_t> compressed = ReadBytes(TestDataPath("package.tar.bz2"));
        EXPECT_FALSE(compressed.empty());
        return InstallDriverPackageFrom(compressed.data(),
                                        static_cast<std::uint32_t>(compressed.size()));
    }
    // The installer runs on its own; it announces itself by a file in its working directory.
    static std::string WaitForInstallerRecord(const std::string& directory) {
        const std::wstring record = Wide(directory + "installer-started.txt");
        for (int waited = 0;
             waited < 600 && GetFileAttributesW(record.c_str()) == INVALID_FILE_ATTRIBUTES;
             ++waited)
            Sleep(100);
        return ReadUtf8File(directory + "installer-started.txt");
    }
};

std::string AsciiLower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
}

// Rights that change a directory, its entries or its security.
constexpr ACCESS_MASK kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                     FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE |
                                     WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

TEST_F(InstallDriverPackageTest, EveryMemberLandsInANewDirectoryAndTheInstallerStartsThere) {
    EXPECT_EQ(Install(), 0);
    EXPECT_TRUE(Entries(temp_).empty()) << "nothing in the user's TEMP";
    const std::string directory = PackageDirectoryBelow(WindowsTemp());
    ASSERT_FALSE(directory.empty()) << "one new package directory below the Windows Temp";
    for (const char* member : {"NorvUSBInstaller.exe", "NorvUSB.inf", "setup.ini",
                               "x86\\SiUSBXp.sys", "x64\\SiUSBXp.sys"}) {
        const std::string unpacked = ReadUtf8File(directory + member);
        EXPECT_FALSE(unpacked.empty()) << member;
        EXPECT_EQ(unpacked, ReadFile(TestDataPath(std::string("package\\") + member))) << member;
    }
    // Letter case aside: Wine names the program as the disk spells its folder ("temp").
    EXPECT_EQ(AsciiLower(WaitForInstallerRecord(directory)),
              AsciiLower("directory=" + directory.substr(0, directory.size() - 1) +
                         "\nprogram=" + directory + "NorvUSBInstaller.exe\nparameters=\nshow=1\n"));

    // The directory's descriptor: only Administrators and SYSTEM may write, everyone
    // else at most reads and executes, the owner included; nothing inherited from TEMP,
    // all of it handed down to the members. (This Wine keeps no descriptor on disk, so the
    // one the directory is created with is read.)
    PSECURITY_DESCRIPTOR security = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        kPackageDirectorySecurity, SDDL_REVISION_1, &security, nullptr));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(security, &control, &revision));
    EXPECT_NE(control & SE_DACL_PROTECTED, 0);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(security, &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl != nullptr);
    std::vector<std::string> holders;
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        void* entry = nullptr;
        ASSERT_TRUE(GetAce(dacl, index, &entry));
        const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        ASSERT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        LPSTR sid = nullptr;
        ASSERT_TRUE(ConvertSidToStringSidA(const_cast<DWORD*>(&ace->SidStart), &sid));
        holders.push_back(sid);
        LocalFree(sid);
        if (holders.back() == "S-1-5-18" || holders.back() == "S-1-5-32-544")
            EXPECT_EQ(ace->Mask, static_cast<ACCESS_MASK>(FILE_ALL_ACCESS)) << holders.back();
        else
            EXPECT_EQ(ace->Mask & kWriteRights, 0u) << holders.back();
    }
    LocalFree(security);
    // SYSTEM, Administrators, Users, and the owner's rights, which else would keep the
    // right to change the descriptor.
    EXPECT_EQ(holders,
              (std::vector<std::string>{"S-1-5-18", "S-1-5-32-544", "S-1-5-32-545", "S-1-3-4"}));
}

TEST_F(InstallDriverPackageTest, NameThatExistsIsRefusedAndMissingWindowsTempGivesMinus13) {
    EXPECT_EQ(CreatePackageDirectory((temp_ + "\\").c_str()), InstallDirectoryTaken);
    tar_test::WriteFile(std::filesystem::path(Wide(temp_ + "\\file")), "f");
    EXPECT_EQ(CreatePackageDirectory((temp_ + "\\file\\").c_str()), InstallDirectoryTaken);
    ReleasePackageDirectory();

    const std::string away = WindowsTemp() + "-away";
    ASSERT_TRUE(MoveFileW(Wide(WindowsTemp()).c_str(), Wide(away).c_str()));
    EXPECT_EQ(Install(), InstallDirectoryNotCreated);
    EXPECT_EQ(PackageDirectoryBelow(temp_), "") << "never the user's TEMP instead";
    ASSERT_TRUE(MoveFileW(Wide(away).c_str(), Wide(WindowsTemp()).c_str()));
}

TEST_F(InstallDriverPackageTest, InstallerThatCannotStartIsReported) {
    const std::string installer = temp_ + "\\NorvUSBInstaller.exe";
    EXPECT_FALSE(StartDriverInstaller(installer.c_str(), temp_.c_str(), temp_.c_str()));
    tar_test::WriteFile(std::filesystem::path(Wide(installer)), "not a program");
    EXPECT_FALSE(StartDriverInstaller(installer.c_str(), temp_.c_str(), temp_.c_str()));
}

TEST_F(InstallDriverPackageTest, BufferThatCannotBeAllocatedGivesMinus12) {
    nothrow_new_fail_at = 1;
    EXPECT_EQ(Install(), InstallNoMemory);
    EXPECT_EQ(PackageDirectoryBelow(WindowsTemp()), "") << "nothing created";
}

TEST_F(InstallDriverPackageTest, StaleBytesAfterTheArchiveAreNeverUnpacked) {
    // A fresh buffer that still holds a member header well past the decoded archive.
    nothrow_new_stale_bytes.assign(kDriverPackageBufferSize, 0xEE);
    std::vector<std::uint8_t> stale;
    tar_test::AppendFile(stale, "stale.txt", "stale");
    std::copy(stale.begin(), stale.end(), nothrow_new_stale_bytes.begin() + 400 * 1024);
    EXPECT_EQ(Install(), 0);
    const std::string directory = PackageDirectoryBelow(WindowsTemp());
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(GetFileAttributesW(Wide(directory + "stale.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(WaitForInstallerRecord(directory).empty());
}

} // namespace
