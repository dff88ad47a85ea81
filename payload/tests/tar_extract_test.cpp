#include "payload/tar_extract.h"

#include "payload/tests/tar_test_support.h"

#include <cstring>
#include <memory>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

using namespace tar_test;

// Extracts from an exactly sized heap copy, so the sanitizers see any read at or past LENGTH.
std::int32_t Extract(const std::vector<std::uint8_t>& archive, const std::string& destination,
                     std::size_t length) {
    const std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[length]);
    std::memcpy(copy.get(), archive.data(), length);
    return TarExtract(copy.get(), length, destination.c_str());
}

std::int32_t Extract(const std::vector<std::uint8_t>& archive, const std::string& destination) {
    return Extract(archive, destination, archive.size());
}

// --- The walk ---------------------------------------------------------------------------------

TEST(TarExtractWalk, WritesDirectoriesAndNestedFiles) {
    std::vector<std::uint8_t> archive;
    AppendFile(archive, "NorvUSBInstaller.exe", Pattern(3000, 1));
    AppendDirectory(archive, "x64/");
    AppendDirectory(archive, "x64/inf");
    AppendFile(archive, "x64/inf/norv.inf", "[Version]\r\nSignature=\"$Windows NT$\"\n");
    AppendFile(archive, "x64/norv.sys", Pattern(512, 2));
    AppendEnd(archive);
    ScratchDirectory dest;

    ASSERT_EQ(Extract(archive, dest.Prefix()), TarOk);

    EXPECT_EQ(Tree(dest.path),
              (std::vector<std::pair<std::string, std::string>>{
                  {"NorvUSBInstaller.exe", Pattern(3000, 1)},
                  {"x64/", ""},
                  {"x64/inf/", ""},
                  {"x64/inf/norv.inf", "[Version]\r\nSignature=\"$Windows NT$\"\n"},
                  {"x64/norv.sys", Pattern(512, 2)},
              }));
}

TEST(TarExtractWalk, CountsDataBlocksBySizeEvenWhenDataCarriesTheMagic) {
    // Data whose blocks look like headers must still be data.
    std::string disguised;
    for (int block = 0; block < 4; ++block) {
        std::vector<std::uint8_t> fake = Header("fake" + std::to_string(block), '0', 0);
        disguised.append(fake.begin(), fake.end());
    }
    std::vector<std::uint8_t> archive;
    AppendFile(archive, "three_blocks", disguised.substr(0, 1536));
    AppendFile(archive, "four_blocks", disguised.substr(0, 1537));
    AppendFile(archive, "magic_in_last_block", disguised.substr(0, 1536 + 262));
    AppendFile(archive, "after", "tail");
    AppendEnd(archive);
    ScratchDirectory dest;

    ASSERT_EQ(Extract(archive, dest.Prefix()), TarOk);

    EXPECT_EQ(Tree(dest.path), (std::vector<std::pair<std::string, std::string>>{
                                   {"after", "tail"},
                                   {"four_blocks", disguised.substr(0, 1537)},
                                   {"magic_in_last_block", disguised.substr(0, 1536 + 262)},
                                   {"three_blocks", disguised.substr(0, 1536)},
                               }));
}

TEST(TarExtractWalk, ZeroSizeFileIsCreatedEmptyAndNextBlockIsAHeader) {
    std::vector<std::uint8_t> archive;
    AppendFile(archive, "empty");
    AppendFile(archive, "next", "x");
    AppendEnd(archive);
    ScratchDirectory dest;

    ASSERT_EQ(Extract(archive, dest.Prefix()), TarOk);

    EXPECT_EQ(Tree(dest.path),
              (std::vector<std::pair<std::string, std::string>>{{"empty", ""}, {"next", "x"}}));
}

TEST(TarExtractWalk, RepeatedDirectoryEntryIsAccepted) {
    std::vector<std::uint8_t> archive;
    AppendDirectory(archive, "x64/");
    AppendDirectory(archive, "x64/");
    AppendDirectory(archive, "x64");
    AppendFile(archive, "x64/a", "a");
    AppendEnd(archive);
    ScratchDirectory dest;

    ASSERT_EQ(Extract(archive, dest.Prefix()), TarOk);

    EXPECT_EQ(ReadFile(dest.path / "x64" / "a"), "a");
}

TEST(TarExtractWalk, ZeroTailUpToTheDecodeBufferCapacityIsSkipped) {
    std::vector<std::uint8_t> archive;
    AppendDirectory(archive, "d/");
    AppendFile(archive, "d/f", Pattern(700));
    AppendEnd(archive);
    archive.resize(500000, 0);
    ScratchDirectory dest;

    ASSERT_EQ(Extract(archive, dest.Prefix()), TarOk);

    EXPECT_EQ(ReadFile(dest.path / "d" / "f"), Pattern(700));
}

TEST(TarExtractWalk, BlocksWithoutMagicAreSkippedAndAnyBlockWithItIsAHeader) {
    std::vector<std::uint8_t> archive;
    AppendFile(archive, "first", "1");
    std::vector<std::uint8_t> no_magic = Header("skipped", '0', 0);
    std::fill_n(no_magic.begin() + 257, 5, 0);
    Append(archive, no_magic);
    AppendEnd(archive);
    AppendFile(archive, "beyond_the_end", "2"); // after the end blocks, yet it carries the magic
    AppendEnd(archive);
    ScratchDirectory dest;

    ASSERT_EQ(Extract(archive, dest.Prefix()), TarOk);

    EXPECT_EQ(Tree(dest.path), (std::vector<std::pair<std::string, std::string>>{
                                   {"beyond_the_end", "2"}, {"first", "1"}}));
}

TEST(TarExtractWalk, OtherTypeFlagsBecomeRegularFilesWithTheirData) {
    std::vector<std::uint8_t> archive;
    AppendEntry(archive, "link", '2');
    AppendEntry(archive, "././@LongLink", 'L', "a/very/long/name");
    AppendEntry(archive, "pax", 'x', "30 mtime=1700000000.123456789\n");
    AppendEntry(archive, "old_style", '\0', "plain");
    AppendEnd(archive);
    ScratchDirectory dest;

    ASSERT_EQ(Extract(archive, dest.Prefix()), TarOk);

    EXPECT_EQ(Tree(dest.path), (std::vector<std::pair<std::string, std::string>>{
                                   {"@LongLink", "a/very/long/name"},
                                   {"link", ""},
                                   {"old_style", "plain"},
                                   {"pax", "30 mtime=1700000000.123456789\n"}}));
}

TEST(TarExtractWalk, SizeFieldIsReadAsOctalTextWithinItsTwelveBytes) {
    struct Case {
        const char* field; // 12 bytes
        std::size_t expected;
    };
    const Case cases[] = {
        {"   \t17\0\0\0\0\0\0", 15},         // leading white space
        {"000000001238", 83},                // stops at the first non-octal digit
        {"000000000001", 1},                 // no terminator: the next field is not read
        {"\x80\0\0\0\0\0\0\0\0\0\0\x05", 0}, // no octal digit at all
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> archive;
        std::vector<std::uint8_t> header = Header("f", '0', 0);
        std::memcpy(&header[124], c.field, 12);
        std::memcpy(&header[136], "77777777777", 11); // a time field full of digits follows
        Append(archive, header);
        archive.resize(archive.size() + 512, 'D');
        AppendFile(archive, "g", "g");
        AppendEnd(archive);
        ScratchDirectory dest;

        ASSERT_EQ(Extract(archive, dest.Prefix()), TarOk) << c.expected;

        EXPECT_EQ(ReadFile(dest.path / "f"), std::string(c.expected, 'D'));
        EXPECT_EQ(ReadFile(dest.path / "g"), "g");
    }
}

TEST(TarExtractWalk, WithoutDestinationNamesAreRelativeToTheCurrentDirectory) {
    std::vector<std::uint8_t> archive;
    AppendDirectory(archive, "sub/");
    AppendFile(archive, "sub/here", "here");
    AppendEnd(archive);
    ScratchDirectory dest;
    const fs::path previous = fs::current_path();
    fs::current_path(dest.path);

    const std::int32_t result = TarExtract(archive.data(), archive.size(), nullptr);

    fs::current_path(previous);
    ASSERT_EQ(result, TarOk);
    EXPECT_EQ(ReadFile(dest.path / "sub" / "here"), "here");
}

// --- Failures ---------------------------------------------------------------------------------

TEST(TarExtractFailure, DestinationMustEndInASeparator) {
    std::vector<std::uint8_t> archive;
    AppendFile(archive, "f", "f");
    AppendEnd(archive);
    ScratchDirectory dest;
    const std::string without = (dest.path / "out").string();
    fs::create_directory(without);

    EXPECT_EQ(Extract(archive, without), TarBadDestination);
    EXPECT_EQ(Extract(archive, ""), TarBadDestination);
    EXPECT_TRUE(fs::is_empty(dest.path / "out"));
    EXPECT_FALSE(fs::exists(dest.path / "outf"));

    ASSERT_EQ(Extract(archive, without + "/"), TarOk);
    EXPECT_EQ(ReadFile(dest.path / "out" / "f"), "f");
}

TEST(TarExtractFailure, EmptyNameInAHeaderBlock) {
    ScratchDirectory dest;
    EXPECT_EQ(Extract(std::vector<std::uint8_t>(10240, 0), dest.Prefix()), TarEmptyName);

    std::vector<std::uint8_t> archive;
    AppendFile(archive, "kept", "k");
    Append(archive, Header("", '0', 0)); // carries the magic, so it is a header
    AppendFile(archive, "never", "n");
    AppendEnd(archive);
    EXPECT_EQ(Extract(archive, dest.Prefix()), TarEmptyName);
    EXPECT_EQ(Tree(dest.path), (std::vector<std::pair<std::string, std::string>>{{"kept", "k"}}));
}

TEST(TarExtractFailure, DirectoryOverAFileOrMissingParent) {
    ScratchDirectory dest;
    WriteFile(dest.path / "taken", "file");
    std::vector<std::uint8_t> over_file;
    AppendDirectory(over_file, "taken/");
    AppendEnd(over_file);
    EXPECT_EQ(Extract(over_file, dest.Prefix()), TarDirectoryFailed);

    std::vector<std::uint8_t> no_parent;
    AppendDirectory(no_parent, "a/b/");
    AppendEnd(no_parent);
    EXPECT_EQ(Extract(no_parent, dest.Prefix()), TarDirectoryFailed);
    EXPECT_FALSE(fs::exists(dest.path / "a"));
}

TEST(TarExtractFailure, FileInAMissingDirectoryFailsToOpenAndEarlierEntriesStay) {
    std::vector<std::uint8_t> archive;
    AppendFile(archive, "first", "1");
    AppendFile(archive, "unlisted/file", "2");
    AppendEnd(archive);
    ScratchDirectory dest;

    EXPECT_EQ(Extract(archive, dest.Prefix()), TarOpenFailed);
    EXPECT_EQ(Tree(dest.path), (std::vector<std::pair<std::string, std::string>>{{"first", "1"}}));
}

// --- Sound behaviour where the archive or the system misbehaves --------------------------------

TEST(TarExtractSafety, NamesOutsideTheDestinationOrOfADeviceStopTheWalk) {
    const char* names[] = {"/etc/evil", "\\evil",      "C:evil",       "c:/evil",
                           "..",        "../evil",     "a/../../evil", "a\\..\\..\\evil",
                           "a/..",      "ok/..\\evil", "NUL",          "x86/nul.inf",
                           "ok\\Con",   "aux.tar.gz",  "ok/COM1",      "lpt9.sys",
                           "prn ",      "com5:",       "LpT3 .inf",    "nul/evil"};
    for (const char* name : names) {
        ScratchDirectory root;
        fs::create_directories(root.path / "dest" / "a");
        fs::create_directories(root.path / "dest" / "ok");
        std::vector<std::uint8_t> archive;
        AppendFile(archive, name, "evil");
        AppendFile(archive, "after", "x");
        AppendEnd(archive);

        EXPECT_EQ(Extract(archive, (root.path / "dest" / "").string()), TarUnsafeName) << name;

        // Only the two prepared directories exist: nothing written anywhere.
        EXPECT_EQ(Tree(root.path), (std::vector<std::pair<std::string, std::string>>{
                                       {"dest/", ""}, {"dest/a/", ""}, {"dest/ok/", ""}}))
            << name;
    }
}

TEST(TarExtractSafety, DotsThatAreNotAParentComponentAreAccepted) {
    std::vector<std::uint8_t> archive;
    AppendDirectory(archive, "..d/");
    AppendFile(archive, "..d/a..b", "1");
    AppendFile(archive, "..d/..x", "2");
    AppendFile(archive, "./f..g", "3");
    // Names that only resemble a device's.
    for (const char* name : {"..d/com0", "..d/lpt10.inf", "..d/nul_x", "..d/console", "..d/aux2"})
        AppendFile(archive, name, "4");
    AppendEnd(archive);
    ScratchDirectory dest;

    ASSERT_EQ(Extract(archive, dest.Prefix()), TarOk);

    EXPECT_EQ(Tree(dest.path),
              (std::vector<std::pair<std::string, std::string>>{{"..d/", ""},
                                                                {"..d/..x", "2"},
                                                                {"..d/a..b", "1"},
                                                                {"..d/aux2", "4"},
                                                                {"..d/com0", "4"},
                                                                {"..d/console", "4"},
                                                                {"..d/lpt10.inf", "4"},
                                                                {"..d/nul_x", "4"},
                                                                {"f..g", "3"}}));
}

TEST(TarExtractSafety, HundredByteNameWithoutNulIsUsedWhole) {
    const std::string name(100, 'n');
    std::vector<std::uint8_t> archive;
    AppendFile(archive, name, "whole");
    AppendEnd(archive);
    ScratchDirectory dest;

    ASSERT_EQ(Extract(archive, dest.Prefix()), TarOk);

    EXPECT_EQ(Tree(dest.path), (std::vector<std::pair<std::string, std::string>>{{name, "whole"}}));
}

TEST(TarExtractSafety, JoinedPathAbove767CharactersIsRefused) {
    // A destination of 700 characters, made of real directories where the system allows it.
    ScratchDirectory root;
    std::string destination = root.Prefix();
    while (destination.size() < 700) {
        destination += std::string(std::min<std::size_t>(200, 699 - destination.size()), 'd');
        destination += static_cast<char>(fs::path::preferred_separator);
#ifndef _WIN32
        fs::create_directory(destination);
#endif
    }
    std::vector<std::uint8_t> archive;
    AppendFile(archive, std::string(68, 'x'), "1"); // 768 characters joined
    AppendEnd(archive);

    EXPECT_EQ(Extract(archive, destination), TarPathTooLong);
    EXPECT_FALSE(fs::exists(destination + std::string(68, 'x')));
#ifndef _WIN32
    std::vector<std::uint8_t> longest;
    AppendFile(longest, std::string(67, 'x'), "2"); // exactly 767
    AppendEnd(longest);
    ASSERT_EQ(Extract(longest, destination), TarOk);
    EXPECT_EQ(ReadFile(destination + std::string(67, 'x')), "2");
#endif
}

TEST(TarExtractSafety, ExistingLongerFileIsTruncated) {
    ScratchDirectory dest;
    WriteFile(dest.path / "driver.sys", Pattern(5000, 9));
    std::vector<std::uint8_t> archive;
    AppendFile(archive, "driver.sys", "new");
    AppendEnd(archive);

    ASSERT_EQ(Extract(archive, dest.Prefix()), TarOk);

    EXPECT_EQ(ReadFile(dest.path / "driver.sys"), "new");
}

TEST(TarExtractSafety, EveryCutOfTheArchiveIsReadWithinItsLength) {
    std::vector<std::uint8_t> archive;
    AppendFile(archive, "a", Pattern(700)); // header 0, data 512..1212, padded to 1536
    AppendDirectory(archive, "b/");         // header 1536, magic at 1793..1798
    AppendEnd(archive);                     // 2048..3072

    ScratchDirectory dest;
    for (std::size_t length = 0; length <= archive.size(); ++length) {
        std::int32_t expected = TarOk; // length 0: no block to walk
        if ((length > 0 && length < 1212) || (length >= 1536 + 262 && length < 2048))
            expected = TarTruncated;
        ASSERT_EQ(Extract(archive, dest.Prefix(), length), expected) << length;
        if (length < 1212) {
            ASSERT_TRUE(fs::is_empty(dest.path)) << "nothing written for a cut member";
        }
        for (const fs::directory_entry& entry : fs::directory_iterator(dest.path))
            fs::remove_all(entry.path());
    }
}

#ifdef _WIN32
TEST(TarExtractWindows, BackslashesInNamesAndEitherSeparatorInTheDestination) {
    std::vector<std::uint8_t> archive;
    AppendDirectory(archive, "x86\\");
    AppendDirectory(archive, "x86\\inf/");
    AppendFile(archive, "x86\\inf\\norv.inf", "inf");
    AppendEnd(archive);
    ScratchDirectory dest;

    ASSERT_EQ(Extract(archive, dest.Prefix()), TarOk);
    ASSERT_EQ(Extract(archive, dest.path.generic_string() + "/"), TarOk);

    EXPECT_EQ(Tree(dest.path), (std::vector<std::pair<std::string, std::string>>{
                                   {"x86/", ""}, {"x86/inf/", ""}, {"x86/inf/norv.inf", "inf"}}));
}
#endif

#ifndef _WIN32
TEST(TarExtractSafety, WriteErrorIsAFailure) {
    std::vector<std::uint8_t> archive;
    AppendFile(archive, "full", "no room");
    AppendEnd(archive);

    EXPECT_EQ(Extract(archive, "/dev/"), TarWriteFailed);
}

TEST(TarExtractSafety, ShortWriteIsAFailure) {
    std::vector<std::uint8_t> archive;
    AppendFile(archive, "cut", Pattern(1000)); // the second write is cut at 900 bytes
    AppendEnd(archive);
    ScratchDirectory dest;
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit limited = previous;
    limited.rlim_cur = 900;
    const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);

    const std::int32_t result = Extract(archive, dest.Prefix());

    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previous_handler);
    EXPECT_EQ(result, TarWriteFailed);
    EXPECT_EQ(fs::file_size(dest.path / "cut"), 900u);
}
#endif

} // namespace
