// The stand-in library and driver package as the payload carries them: the blobs
// decode to the files the build made, and the package is the deterministic ustar
// archive the installation unpacks.
#include "payload/blobs.h"
#include "payload/bz2_decoder.h"
#include "payload/tar_extract.h"
#include "sim/model/state_files.h"
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kPackageBufferSize = 500000;

std::string StandinFile(const char* name) {
    const char* binary_dir = std::getenv("ZC_BINARY_DIR");
    std::string contents;
    EXPECT_EQ(SimReadFile(std::string(binary_dir ? binary_dir : ".") + "/payload-standin/" + name,
                          &contents),
              0)
        << name;
    return contents;
}

struct TarMember {
    std::string name;
    char type;
    unsigned mode, uid, gid, mtime;
    std::string magic;
    std::size_t size;
};

unsigned Octal(const std::uint8_t* field, std::size_t width) {
    return static_cast<unsigned>(
        std::strtoul(std::string(reinterpret_cast<const char*>(field), width).c_str(), nullptr, 8));
}

std::vector<TarMember> ListMembers(const std::vector<std::uint8_t>& archive) {
    std::vector<TarMember> members;
    for (std::size_t at = 0; at + 512 <= archive.size() && archive[at] != 0;) {
        const std::uint8_t* h = &archive[at];
        TarMember member{std::string(reinterpret_cast<const char*>(h),
                                     strnlen(reinterpret_cast<const char*>(h), 100)),
                         static_cast<char>(h[156]),
                         Octal(h + 100, 8),
                         Octal(h + 108, 8),
                         Octal(h + 116, 8),
                         Octal(h + 136, 12),
                         std::string(reinterpret_cast<const char*>(h + 257), 8),
                         Octal(h + 124, 12)};
        members.push_back(member);
        at += 512 + (member.size + 511) / 512 * 512;
    }
    return members;
}

std::vector<std::uint8_t> DecodedPackage() {
    std::vector<std::uint8_t> buffer(kPackageBufferSize, 0);
    EXPECT_EQ(Bz2DecodeToBuffer(driver_package_bz2, driver_package_bz2_len, buffer.data(),
                                kPackageBufferSize),
              0);
    return buffer;
}

TEST(StandinPayload, CarriedLibraryIsTheBuiltStandinDll) {
    ASSERT_EQ(std::memcmp(usb_library_bz2, "BZh9", 4), 0);
    std::uint32_t length = 0;
    std::uint8_t* decoded = Bz2DecodeToHeap(usb_library_bz2, usb_library_bz2_len, &length);
    ASSERT_NE(decoded, nullptr);
    const std::string library(reinterpret_cast<const char*>(decoded), length);
    std::free(decoded);
    EXPECT_EQ(library.substr(0, 2), "MZ");
    EXPECT_TRUE(library == StandinFile("SiUSBXp.dll")) << "decoded " << length << " bytes";
    for (const char* name : {"SI_GetNumDevices", "SI_GetProductString", "SI_SetTimeouts", "SI_Open",
                             "SI_Close", "SI_CheckRXQueue", "SI_Read", "SI_Write"})
        EXPECT_NE(library.find(std::string(name) + '\0'), std::string::npos) << name;
}

TEST(StandinPayload, CarriedPackageIsADeterministicUstarArchive) {
    ASSERT_EQ(std::memcmp(driver_package_bz2, "BZh9", 4), 0);
    const std::vector<std::uint8_t> package = DecodedPackage();
    const std::string built = StandinFile("driver_package.tar");
    ASSERT_LE(built.size(), package.size());
    EXPECT_EQ(std::memcmp(package.data(), built.data(), built.size()), 0);

    const std::vector<std::string> order = {
        "NorvUSBInstaller.exe", "NorvUSB.inf",     "setup.ini", "siusbxp.cat",   "x86/",
        "x86/SiLib.sys",        "x86/SiUSBXp.sys", "x64/",      "x64/SiLib.sys", "x64/SiUSBXp.sys"};
    const std::vector<TarMember> members = ListMembers(package);
    ASSERT_EQ(members.size(), order.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
        const TarMember& member = members[i];
        const bool directory = member.name.back() == '/';
        EXPECT_EQ(member.name, order[i]);
        EXPECT_EQ(member.type, directory ? '5' : '0') << member.name;
        EXPECT_EQ(member.magic, std::string("ustar\0"
                                            "00",
                                            8))
            << member.name;
        EXPECT_EQ(member.uid, 0u) << member.name;
        EXPECT_EQ(member.gid, 0u) << member.name;
        EXPECT_EQ(member.mtime, 0u) << member.name;
        const bool program = directory || member.name.ends_with(".exe");
        EXPECT_EQ(member.mode, program ? 0755u : 0644u) << member.name;
    }
}

TEST(StandinPayload, UnpackedPackageNamesTheDriverAndStandsIn) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "zc-standin-package";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::vector<std::uint8_t> package = DecodedPackage();
    const std::string destination = dir.string() + "/";
    ASSERT_EQ(TarExtract(package.data(), package.size(), destination.c_str()), TarOk);

    std::string text;
    ASSERT_EQ(SimReadFile((dir / "NorvUSB.inf").string(), &text), 0);
    EXPECT_NE(text.find("\"NORV USB Controller\""), std::string::npos);
    EXPECT_NE(text.find("USB\\VID_16C0&PID_0618"), std::string::npos);
    ASSERT_EQ(SimReadFile((dir / "setup.ini").string(), &text), 0);
    EXPECT_NE(text.find("NorvUSBInstaller.exe"), std::string::npos);
    for (const char* placeholder :
         {"siusbxp.cat", "x86/SiUSBXp.sys", "x86/SiLib.sys", "x64/SiUSBXp.sys", "x64/SiLib.sys"}) {
        ASSERT_EQ(SimReadFile((dir / placeholder).string(), &text), 0) << placeholder;
        EXPECT_EQ(text.rfind("Stand-in for the vendor's", 0), 0u) << placeholder;
    }
    ASSERT_EQ(SimReadFile((dir / "NorvUSBInstaller.exe").string(), &text), 0);
    EXPECT_EQ(text.substr(0, 2), "MZ");
    std::filesystem::remove_all(dir);
}

} // namespace
