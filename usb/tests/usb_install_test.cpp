// The installations on a POSIX file system, with windir naming a place in a scratch
// directory. A backslash is an ordinary character here: windir "<scratch>/win" makes the
// library the file "win\System32\SiUSBXp.dll" of the scratch directory, the package
// directory "win\Temp\zandacore-driver-<hex>\" and the members
// "win\Temp\zandacore-driver-<hex>\<name>", which shows every separator the installations
// add. The user's TEMP is never used.
#include "payload/bz2_decoder.h"
#include "payload/tar_extract.h"
#include "payload/tests/tar_test_support.h"
#include "usb/usb_install.h"

#include <bzlib.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

namespace {

using namespace tar_test;

struct InstallerStart {
    std::string installer_path;
    std::string directory;
    std::string temp_directory;
};
std::vector<InstallerStart> installer_starts;
bool installer_starts_succeed = true;
// Every package directory step in order: "create <path>", "start", "release".
std::vector<std::string> directory_steps;
int directories_taken = 0; // so many names are reported as existing first

} // namespace

std::int32_t CreatePackageDirectory(const char* path) {
    directory_steps.push_back(std::string("create ") + path);
    if (directories_taken > 0) {
        --directories_taken;
        return InstallDirectoryTaken;
    }
    if (mkdir(path, 0755) == 0)
        return 0;
    return errno == EEXIST ? InstallDirectoryTaken : InstallDirectoryNotCreated;
}

void ReleasePackageDirectory() {
    directory_steps.push_back("release");
}

bool StartDriverInstaller(const char* installer_path, const char* directory,
                          const char* temp_directory) {
    directory_steps.push_back("start");
    installer_starts.push_back({installer_path, directory, temp_directory});
    return installer_starts_succeed;
}

namespace {

std::vector<std::uint8_t> Compress(const std::string& data) {
    std::vector<char> out(data.size() + data.size() / 100 + 600);
    unsigned out_length = static_cast<unsigned>(out.size());
    std::string input = data;
    EXPECT_EQ(BZ2_bzBuffToBuffCompress(out.data(), &out_length, input.data(),
                                       static_cast<unsigned>(input.size()), 9, 0, 0),
              BZ_OK);
    return {out.begin(), out.begin() + out_length};
}

std::string AsText(const std::vector<std::uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

// A scratch directory named by windir for the length of a test; TEMP names another place,
// which must stay untouched.
class InstallTest : public testing::Test {
  protected:
    ScratchDirectory scratch_;
    std::string saved_windir_;
    std::string saved_temp_;

    void SetUp() override {
        saved_windir_ = Get("windir");
        saved_temp_ = Get("TEMP");
        setenv("windir", (scratch_.Prefix() + "win").c_str(), 1);
        setenv("TEMP", (scratch_.Prefix() + "user-temp").c_str(), 1);
        installer_starts.clear();
        installer_starts_succeed = true;
        directory_steps.clear();
        directories_taken = 0;
    }
    void TearDown() override {
        Restore("windir", saved_windir_);
        Restore("TEMP", saved_temp_);
    }
    static std::string Get(const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr ? value : "";
    }
    static void Restore(const char* name, const std::string& value) {
        if (value.empty())
            unsetenv(name);
        else
            setenv(name, value.c_str(), 1);
    }
    fs::path LibraryFile() const { return scratch_.path / "win\\System32\\SiUSBXp.dll"; }
};

using InstallUsbLibraryTest = InstallTest;

TEST_F(InstallUsbLibraryTest, WritesTheDecodedLibraryIntoTheSystemDirectory) {
    const std::string library = Pattern(70000); // more than one growth step of the decoder
    const std::vector<std::uint8_t> compressed = Compress(library);
    EXPECT_EQ(
        InstallUsbLibraryFrom(compressed.data(), static_cast<std::uint32_t>(compressed.size())), 0);
    EXPECT_EQ(ReadFile(LibraryFile()), library);
}

TEST_F(InstallUsbLibraryTest, LongerExistingFileIsReplacedWhole) {
    WriteFile(LibraryFile(), Pattern(9000, 3));
    const std::string library = Pattern(1000);
    const std::vector<std::uint8_t> compressed = Compress(library);
    EXPECT_EQ(
        InstallUsbLibraryFrom(compressed.data(), static_cast<std::uint32_t>(compressed.size())), 0);
    EXPECT_EQ(ReadFile(LibraryFile()), library) << "no stale tail";
}

TEST_F(InstallUsbLibraryTest, UndecodableLibraryWritesNothing) {
    std::vector<std::uint8_t> compressed = Compress(Pattern(1000));
    compressed.resize(compressed.size() / 2);
    EXPECT_EQ(
        InstallUsbLibraryFrom(compressed.data(), static_cast<std::uint32_t>(compressed.size())),
        InstallLibraryNotDecoded);
    EXPECT_FALSE(fs::exists(LibraryFile()));
}

TEST_F(InstallUsbLibraryTest, UnwritableOrUnreachableFileGivesMinus4) {
    const std::vector<std::uint8_t> compressed = Compress(Pattern(1000));
    const auto length = static_cast<std::uint32_t>(compressed.size());

    fs::create_directory(LibraryFile()); // cannot be opened as a file, even by root
    EXPECT_EQ(InstallUsbLibraryFrom(compressed.data(), length), InstallLibraryNotWritten);
    fs::remove(LibraryFile());

    setenv("windir", (scratch_.Prefix() + "missing/win").c_str(), 1);
    EXPECT_EQ(InstallUsbLibraryFrom(compressed.data(), length), InstallLibraryNotWritten);

    // The directory fits, the file name does not: nothing is written anywhere.
    const std::string longest =
        scratch_.Prefix() + std::string(4085 - scratch_.Prefix().size(), 'w');
    setenv("windir", longest.c_str(), 1);
    EXPECT_EQ(InstallUsbLibraryFrom(compressed.data(), length), InstallLibraryNotWritten);
    // Too long for the directory itself: an empty path must not become "SiUSBXp.dll" here.
    setenv("windir", std::string(5000, 'w').c_str(), 1);
    EXPECT_EQ(InstallUsbLibraryFrom(compressed.data(), length), InstallLibraryNotWritten);
    EXPECT_FALSE(fs::exists("SiUSBXp.dll"));
    EXPECT_TRUE(fs::is_empty(scratch_.path));
}

TEST_F(InstallUsbLibraryTest, ShortWriteGivesMinus4) {
    const std::string library = Pattern(20000);
    const std::vector<std::uint8_t> compressed = Compress(library);
    // A file size limit makes the one write stop early instead of failing.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 4096;
    const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const std::int32_t result =
        InstallUsbLibraryFrom(compressed.data(), static_cast<std::uint32_t>(compressed.size()));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous_handler);

    EXPECT_EQ(result, InstallLibraryNotWritten);
    EXPECT_EQ(fs::file_size(LibraryFile()), 4096u) << "the write really was short";
}

// The package as the carried one is laid out: installer at the top, drivers below.
std::string Package() {
    std::vector<std::uint8_t> archive;
    AppendFile(archive, "NorvUSBInstaller.exe", Pattern(5000, 1));
    AppendFile(archive, "NorvUSB.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n");
    AppendDirectory(archive, "x86/");
    AppendFile(archive, "x86/SiUSBXp.sys", Pattern(3000, 2));
    AppendEnd(archive);
    return AsText(archive);
}

using InstallDriverPackageTest = InstallTest;

// The package directory the installation created: "create <path>" in the steps.
std::string CreatedDirectory(std::size_t step) {
    return directory_steps.at(step).substr(std::string("create ").size());
}

TEST_F(InstallDriverPackageTest, UnpacksIntoANewDirectoryBelowWindowsTempAndStartsTheInstaller) {
    directories_taken = 2; // names that exist already are passed over
    const std::vector<std::uint8_t> compressed = Compress(Package());
    EXPECT_EQ(
        InstallDriverPackageFrom(compressed.data(), static_cast<std::uint32_t>(compressed.size())),
        0);
    ASSERT_EQ(directory_steps.size(), 6u);
    const std::string created = CreatedDirectory(2);
    const std::string pattern = "win\\\\Temp\\\\zandacore-driver-[0-9a-f]{8}\\\\";
    for (std::size_t step = 0; step < 3; ++step)
        EXPECT_THAT(CreatedDirectory(step), testing::MatchesRegex(scratch_.Prefix() + pattern));
    EXPECT_NE(CreatedDirectory(0), CreatedDirectory(1));
    EXPECT_NE(CreatedDirectory(1), created);
    EXPECT_EQ(CreatedDirectory(3), created + "temp\\") << "the installer's TEMP, made first";
    EXPECT_EQ(directory_steps[4], "start");
    EXPECT_EQ(directory_steps[5], "release") << "held until the installer has started";

    const std::string name = created.substr(scratch_.Prefix().size());
    const std::vector<std::pair<std::string, std::string>> expected = {
        {name + "/", ""},
        {name + "NorvUSB.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n"},
        {name + "NorvUSBInstaller.exe", Pattern(5000, 1)},
        {name + "temp\\/", ""}, // a backslash is an ordinary character here
        {name + "x86/", ""},
        {name + "x86/SiUSBXp.sys", Pattern(3000, 2)},
    };
    EXPECT_EQ(Tree(scratch_.path), expected);
    ASSERT_EQ(installer_starts.size(), 1u);
    EXPECT_EQ(installer_starts[0].installer_path, created + "NorvUSBInstaller.exe");
    EXPECT_EQ(installer_starts[0].directory, created);
    EXPECT_EQ(installer_starts[0].temp_directory, created + "temp\\");
}

TEST_F(InstallDriverPackageTest, InstallerThatDoesNotStartGivesMinus11) {
    installer_starts_succeed = false;
    const std::vector<std::uint8_t> compressed = Compress(Package());
    EXPECT_EQ(
        InstallDriverPackageFrom(compressed.data(), static_cast<std::uint32_t>(compressed.size())),
        InstallerNotStarted);
    EXPECT_EQ(installer_starts.size(), 1u);
    EXPECT_EQ(directory_steps.back(), "release");
}

TEST_F(InstallDriverPackageTest, FailuresAreReturnedWithoutStarting) {
    std::vector<std::uint8_t> compressed = Compress(Package());
    const auto length = static_cast<std::uint32_t>(compressed.size());

    setenv("windir", (scratch_.Prefix() + "missing/win").c_str(), 1);
    EXPECT_EQ(InstallDriverPackageFrom(compressed.data(), length), InstallDirectoryNotCreated);

    setenv("windir", std::string(5000, 't').c_str(), 1); // does not fit: empty directory
    EXPECT_EQ(InstallDriverPackageFrom(compressed.data(), length), InstallDirectoryNotCreated);
    // The directory fits, its name does not.
    setenv("windir",
           (scratch_.Prefix() + std::string(4085 - scratch_.Prefix().size(), 't')).c_str(), 1);
    EXPECT_EQ(InstallDriverPackageFrom(compressed.data(), length), InstallDirectoryNotCreated);

    setenv("windir", (scratch_.Prefix() + "win").c_str(), 1);
    directories_taken = 1000; // every name tried exists
    directory_steps.clear();
    EXPECT_EQ(InstallDriverPackageFrom(compressed.data(), length), InstallDirectoryNotCreated);
    EXPECT_EQ(directory_steps.size(), 17u) << "a bounded number of names, then released";
    directories_taken = 0;

    std::vector<std::uint8_t> corrupt = compressed;
    corrupt[corrupt.size() / 2] ^= 0x40;
    EXPECT_THAT(InstallDriverPackageFrom(corrupt.data(), length),
                testing::AnyOf(Bz2CrcMismatch, Bz2DecodeFailed));

    // One 4096-byte step more than the buffer allows.
    const std::vector<std::uint8_t> too_big =
        Compress(std::string(kDriverPackageBufferSize - 4095, 'z'));
    EXPECT_EQ(InstallDriverPackageFrom(too_big.data(), static_cast<std::uint32_t>(too_big.size())),
              Bz2BufferTooSmall);
    EXPECT_TRUE(fs::is_empty(scratch_.path)) << "nothing created before the package decodes";

    std::vector<std::uint8_t> unsafe;
    AppendFile(unsafe, "x86/nul.inf", "device");
    AppendEnd(unsafe);
    const std::vector<std::uint8_t> unsafe_compressed = Compress(AsText(unsafe));
    EXPECT_EQ(InstallDriverPackageFrom(unsafe_compressed.data(),
                                       static_cast<std::uint32_t>(unsafe_compressed.size())),
              TarUnsafeName);

    EXPECT_TRUE(installer_starts.empty());
}

TEST_F(InstallDriverPackageTest, LargestPackageThatFitsTheBufferUnpacks) {
    // An output of 4096 x k bytes needs 4096 x (k + 1): 487 424 bytes is the most for 500 000.
    std::vector<std::uint8_t> archive;
    const std::size_t largest = (kDriverPackageBufferSize / 4096 - 1) * 4096;
    AppendFile(archive, "NorvUSBInstaller.exe", std::string(largest - 512 - 1024, 'i'));
    AppendEnd(archive);
    ASSERT_EQ(archive.size(), largest);
    const std::vector<std::uint8_t> compressed = Compress(AsText(archive));
    EXPECT_EQ(
        InstallDriverPackageFrom(compressed.data(), static_cast<std::uint32_t>(compressed.size())),
        0);
    ASSERT_EQ(installer_starts.size(), 1u);
    EXPECT_EQ(fs::file_size(installer_starts[0].installer_path), largest - 1536);
}

} // namespace
