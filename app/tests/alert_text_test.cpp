// The message box text: formatted printf-style, cut at 4095 characters, always ended.
#include "app/alert_user.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

void Format(char (&text)[kAlertTextSize], const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    FormatAlertText(text, format, args);
    va_end(args);
}

TEST(AlertText, FormatsArgumentsLikePrintf) {
    char text[kAlertTextSize];
    Format(text, "Wrong device connected!\n\nPlease connect the %s and try again.", "QTV40z6");
    EXPECT_STREQ(text, "Wrong device connected!\n\nPlease connect the QTV40z6 and try again.");
    Format(text, "%d%%", -1);
    EXPECT_STREQ(text, "-1%");
}

TEST(AlertText, LongTextIsCutAt4095AndTerminated) {
    char text[kAlertTextSize];
    std::memset(text, 'X', sizeof text); // a formatter that forgets the end shows up
    const std::string long_text(5000, 'a');
    Format(text, "%s!", long_text.c_str());
    EXPECT_EQ(std::strlen(text), kAlertTextSize - 1);
    EXPECT_EQ(std::string(text), std::string(kAlertTextSize - 1, 'a'));
}

TEST(AlertText, TextOfExactly4095CharactersIsKeptWhole) {
    char text[kAlertTextSize];
    const std::string exact(kAlertTextSize - 1, 'b');
    Format(text, "%s", exact.c_str());
    EXPECT_EQ(std::string(text), exact);
}

} // namespace
