#include "payload/file_interface.h"

#include "payload/tests/tar_test_support.h"

namespace {

using namespace tar_test;

TEST(FileInterface, WritesBytesUntranslatedAndEmptiesAnExistingFile) {
    ScratchDirectory dir;
    const std::string path = (dir.path / "bytes.bin").string();
    WriteFile(path, Pattern(4000));
    std::string all_values;
    for (int value = 0; value < 256; ++value)
        all_values += static_cast<char>(value); // "\n" and Ctrl-Z would change in text mode

    const int file = FileOpenForWriting(path.c_str());
    ASSERT_GE(file, 0);
    EXPECT_EQ(FileWrite(file, all_values.data(), 256), 256);
    EXPECT_EQ(FileClose(file), 0);

    EXPECT_EQ(ReadFile(path), all_values);
    const fs::perms perms = fs::status(path).permissions();
    EXPECT_NE(perms & fs::perms::owner_write, fs::perms::none) << "an ordinary read-write file";
}

TEST(FileInterface, OpenFailsOnADirectoryOrAMissingParent) {
    ScratchDirectory dir;
    EXPECT_EQ(FileOpenForWriting(dir.path.string().c_str()), -1);
    EXPECT_EQ(FileOpenForWriting((dir.path / "missing" / "f").string().c_str()), -1);
}

TEST(FileInterface, CreatesOneDirectoryLevel) {
    ScratchDirectory dir;
    const fs::path one = dir.path / "one";

    EXPECT_EQ(DirectoryCreate((one / "two").string().c_str()), -1) << "parents are not created";
    ASSERT_EQ(DirectoryCreate(one.string().c_str()), 0);
    EXPECT_TRUE(fs::is_directory(one));
    EXPECT_EQ(DirectoryCreate(one.string().c_str()), -1) << "already there";
    EXPECT_EQ(DirectoryCreate(((one / "two").string() + "/").c_str()), 0) << "trailing separator";
    EXPECT_TRUE(fs::is_directory(one / "two"));
}

TEST(FileInterface, TellsDirectoriesFromFilesAndMissingPaths) {
    ScratchDirectory dir;
    WriteFile(dir.path / "file", "f");
    const std::string base = dir.path.string();

    EXPECT_TRUE(DirectoryExists(base.c_str()));
    EXPECT_TRUE(DirectoryExists((base + "/").c_str()));
    EXPECT_TRUE(DirectoryExists(dir.Prefix().c_str()));
    EXPECT_FALSE(DirectoryExists((dir.path / "file").string().c_str()));
    EXPECT_FALSE(DirectoryExists((dir.path / "missing").string().c_str()));
}

#ifdef _WIN32
TEST(FileInterface, ConvertsUtf8AndUtf16BothWaysOrNotAtAll) {
    const char* text = "Анна-数据-\xF0\x9F\x93\x81"; // two, three and four bytes a character
    wchar_t wide[16];
    ASSERT_TRUE(Utf8ToWide(text, wide, 16));
    EXPECT_EQ(std::wstring(wide), L"Анна-数据-\U0001F4C1");
    char utf8[32];
    ASSERT_TRUE(WideToUtf8(wide, utf8, 32));
    EXPECT_STREQ(utf8, text);

    // 4 + 1 + 2 + 1 + 2 (a surrogate pair) + terminator: 11 UTF-16 characters.
    EXPECT_FALSE(Utf8ToWide(text, wide, 10));
    EXPECT_EQ(wide[0], L'\0') << "left empty, not cut";
    EXPECT_FALSE(WideToUtf8(L"Анна-数据-\U0001F4C1", utf8, 20)); // needs 21 bytes
    EXPECT_EQ(utf8[0], '\0');
    EXPECT_FALSE(Utf8ToWide("a\xC3", wide, 16)) << "a sequence cut short";
    EXPECT_FALSE(WideToUtf8(L"a\xD800", utf8, 32)) << "a lone surrogate";
}
#endif

} // namespace
