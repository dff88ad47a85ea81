// Archives made by GNU tar from a source tree must extract to the same tree.
#include "payload/tar_extract.h"

#include "payload/tests/tar_test_support.h"

#include <cstdlib>

namespace {

using namespace tar_test;

// A package-like tree: nested directories, empty files, sizes around block boundaries.
void BuildSourceTree(const fs::path& root) {
    fs::create_directories(root / "driver" / "x64" / "empty_dir");
    fs::create_directories(root / "driver" / "x86");
    WriteFile(root / "NorvUSBInstaller.exe", Pattern(100000, 1));
    WriteFile(root / "driver" / "norv.inf", "[Version]\r\n");
    WriteFile(root / "driver" / "empty.cat", "");
    const std::size_t sizes[] = {1, 511, 512, 513, 1536, 1537};
    for (std::size_t size : sizes) {
        WriteFile(root / "driver" / "x64" / ("f" + std::to_string(size)), Pattern(size, 2));
        WriteFile(root / "driver" / "x86" / ("f" + std::to_string(size)), Pattern(size, 3));
    }
}

// Runs tar in SOURCE with ARGUMENTS and returns the archive it wrote.
std::vector<std::uint8_t> Tar(const fs::path& source, const std::string& arguments) {
    const fs::path archive = source.parent_path() / "archive.tar";
    const std::string command =
        "tar -C '" + source.string() + "' -cf '" + archive.string() + "' " + arguments;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    const std::string bytes = ReadFile(archive);
    fs::remove(archive);
    return {bytes.begin(), bytes.end()};
}

std::int32_t Extract(const std::vector<std::uint8_t>& archive, const fs::path& destination) {
    fs::create_directory(destination);
    return TarExtract(archive.data(), archive.size(), (destination / "").string().c_str());
}

class GnuTarArchive : public testing::TestWithParam<const char*> {
  protected:
    ScratchDirectory scratch;
    fs::path source = scratch.path / "source";
    fs::path dest = scratch.path / "dest";
    std::string format = std::string("--format=") + GetParam();

    void SetUp() override { BuildSourceTree(source); }
};

TEST_P(GnuTarArchive, ExtractsToTheSourceTree) {
    const std::vector<std::uint8_t> archive = Tar(source, format + " NorvUSBInstaller.exe driver");

    ASSERT_EQ(Extract(archive, dest), TarOk);

    EXPECT_EQ(Tree(dest), Tree(source));
}

TEST_P(GnuTarArchive, ExtractsFromTheDecodeBufferWithItsZeroTail) {
    std::vector<std::uint8_t> buffer = Tar(source, format + " driver");
    ASSERT_LT(buffer.size(), 500000u);
    buffer.resize(500000, 0);

    ASSERT_EQ(Extract(buffer, dest), TarOk);

    fs::remove(source / "NorvUSBInstaller.exe");
    EXPECT_EQ(Tree(dest), Tree(source));
}

TEST_P(GnuTarArchive, AcceptsARepeatedDirectoryEntry) {
    const std::vector<std::uint8_t> archive =
        Tar(source, format + " --no-recursion driver driver/x86 driver driver/x86 driver/x86/f1");

    ASSERT_EQ(Extract(archive, dest), TarOk);

    EXPECT_EQ(Tree(dest),
              (std::vector<std::pair<std::string, std::string>>{
                  {"driver/", ""}, {"driver/x86/", ""}, {"driver/x86/f1", Pattern(1, 3)}}));
}

INSTANTIATE_TEST_SUITE_P(Formats, GnuTarArchive, testing::Values("ustar", "gnu"));

TEST(GnuTarLongName, RecordBecomesAFileAndTheNameIsCutAt100Bytes) {
    ScratchDirectory scratch;
    const std::string name = std::string(90, 'a') + "_long_name_past_100.bin";
    fs::create_directory(scratch.path / "source");
    WriteFile(scratch.path / "source" / name, "data");
    const std::vector<std::uint8_t> archive = Tar(scratch.path / "source", "--format=gnu " + name);

    ASSERT_EQ(Extract(archive, scratch.path / "dest"), TarOk);

    const auto tree = Tree(scratch.path / "dest");
    ASSERT_EQ(tree.size(), 2u);
    EXPECT_EQ(tree[0].first, "@LongLink"); // "././@LongLink" below the destination
    EXPECT_EQ(tree[0].second, name + std::string(1, '\0'));
    EXPECT_EQ(tree[1], std::make_pair(name.substr(0, 100), std::string("data")));
}

} // namespace
