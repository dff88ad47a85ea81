#include "usb/usb_paths.h"

#ifdef _WIN32
#include "payload/file_interface.h"

#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace {

// Sets or removes a variable of this process's environment, where the path builders look
// (the runtime's _putenv changes the system's copy too). Under Wine the variables Wine sets
// itself can only be changed from inside the process.
void SetVariable(const char* name, const std::optional<std::string>& value) {
#ifdef _WIN32
    const std::string assignment = std::string(name) + "=" + value.value_or("");
    _putenv(assignment.c_str()); // an empty value removes the variable
#else
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
#endif
}

// The four variables, restored after each test.
class PathBuilders : public testing::Test {
  protected:
    static constexpr const char* kNames[] = {"TEMP", "TMP", "windir", "WINDIR"};
    std::optional<std::string> saved_[4];

    void SetUp() override {
        for (int i = 0; i < 4; ++i) {
            const char* value = std::getenv(kNames[i]);
            if (value != nullptr)
                saved_[i] = value;
        }
        for (const char* name : kNames)
            SetVariable(name, std::nullopt);
    }
    void TearDown() override {
        for (int i = 0; i < 4; ++i)
            SetVariable(kNames[i], saved_[i]);
    }

    // Starts from a buffer full of junk, so the builder must terminate what it writes.
    static std::string Temp() {
        char path[kPathSize];
        std::memset(path, 'x', sizeof path);
        GetTempDir(path);
        return path;
    }
    static std::string System() {
        char path[kPathSize];
        std::memset(path, 'x', sizeof path);
        GetSystemDir(path);
        return path;
    }
    static std::string WindowsTemp() {
        char path[kPathSize];
        std::memset(path, 'x', sizeof path);
        GetWindowsTempDir(path);
        return path;
    }
};

TEST_F(PathBuilders, TempDirectoryEndsInExactlyOneBackslash) {
    SetVariable("TEMP", "C:\\zc\\tmp");
    EXPECT_EQ(Temp(), "C:\\zc\\tmp\\");
    SetVariable("TEMP", "C:\\zc\\tmp\\");
    EXPECT_EQ(Temp(), "C:\\zc\\tmp\\");
    SetVariable("TEMP", "C:\\zc\\tmp/"); // only a backslash counts as the separator
    EXPECT_EQ(Temp(), "C:\\zc\\tmp/\\");
}

TEST_F(PathBuilders, TempComesFromTempThenTmpThenTheFixedPath) {
    EXPECT_EQ(Temp(), "C:\\Temp\\");
    SetVariable("TMP", "D:\\tmp");
    EXPECT_EQ(Temp(), "D:\\tmp\\");
    SetVariable("TEMP", "E:\\temp");
    EXPECT_EQ(Temp(), "E:\\temp\\");
}

#ifdef _WIN32
// The user sets windir in HKCU\Environment; the elevated program's system paths never
// follow it.
TEST_F(PathBuilders, SystemDirectoriesComeFromTheSystemNotTheEnvironment) {
    wchar_t system[kPathSize] = {};
    wchar_t windows[kPathSize] = {};
    ASSERT_GT(GetSystemDirectoryW(system, kPathSize), 0u);
    ASSERT_GT(GetSystemWindowsDirectoryW(windows, kPathSize), 0u);
    char expected_system[kPathSize] = {};
    char expected_temp[kPathSize] = {};
    ASSERT_TRUE(WideToUtf8(system, expected_system, kPathSize));
    ASSERT_TRUE(WideToUtf8(windows, expected_temp, kPathSize));
    for (const char* windir : {"C:\\x", "D:\\W\\", ""}) {
        SetVariable("windir", windir);
        SetVariable("WINDIR", windir);
        EXPECT_EQ(System(), std::string(expected_system) + "\\") << windir;
        EXPECT_EQ(WindowsTemp(), std::string(expected_temp) + "\\Temp\\") << windir;
    }
}
#else
TEST_F(PathBuilders, NativeSystemDirectoriesAreWindirsSystem32AndTemp) {
    EXPECT_EQ(System(), "") << "no stand-in system: the installations fail";
    SetVariable("windir", "C:\\WINDOWS");
    EXPECT_EQ(System(), "C:\\WINDOWS\\System32\\");
    EXPECT_EQ(WindowsTemp(), "C:\\WINDOWS\\Temp\\");
    SetVariable("windir", "C:\\WINDOWS\\");
    EXPECT_EQ(System(), "C:\\WINDOWS\\System32\\");
    EXPECT_EQ(WindowsTemp(), "C:\\WINDOWS\\Temp\\");
}
#endif

#ifndef _WIN32
// Only a POSIX environment holds a variable with an empty value.
TEST_F(PathBuilders, EmptyValueGetsTheBackslash) {
    SetVariable("TEMP", "");
    SetVariable("TMP", "D:\\tmp");
    EXPECT_EQ(Temp(), "\\");
}
#endif

TEST_F(PathBuilders, ValueThatDoesNotFitLeavesThePathEmpty) {
    // 4095 characters and the terminator fill the buffer exactly.
    SetVariable("TEMP", std::string(4094, 'a'));
    EXPECT_EQ(Temp(), std::string(4094, 'a') + "\\");
    SetVariable("TEMP", std::string(4094, 'a') + "\\");
    EXPECT_EQ(Temp(), std::string(4094, 'a') + "\\");
    SetVariable("TEMP", std::string(4095, 'a')); // no room left for the backslash
    EXPECT_EQ(Temp(), "");
    SetVariable("TEMP", std::string(5000, 'a'));
    EXPECT_EQ(Temp(), "");

#ifndef _WIN32
    SetVariable("windir", std::string(4085, 'w'));
    EXPECT_EQ(System(), std::string(4085, 'w') + "\\System32\\");
    SetVariable("windir", std::string(4086, 'w')); // "System32\" no longer fits
    EXPECT_EQ(System(), "");
#endif
}

TEST(AppendPathText, AppendsOnlyWhatFitsWithItsTerminator) {
    char path[kPathSize] = {};
    const std::string almost_full(kPathSize - 3, 'p');
    ASSERT_TRUE(AppendPathText(path, almost_full.c_str()));
    EXPECT_FALSE(AppendPathText(path, "abc"));
    EXPECT_EQ(std::string(path), almost_full) << "a refused text leaves the path unchanged";
    EXPECT_TRUE(AppendPathText(path, "ab"));
    EXPECT_EQ(std::string(path), almost_full + "ab");
    EXPECT_FALSE(AppendPathText(path, "c"));
}

} // namespace
