// The dialog's version line and titles, with the carried version's digits written as
// hexadecimal digits and the module's as a decimal number.
#include "app/dialog_texts.h"

#include <gtest/gtest.h>

namespace {

TEST(VersionLine, IdentifiedVersionGivesTheLongLine) {
    char text[kDialogTextSize];
    FormatVersionLine(text, 786, 0x787);
    EXPECT_STREQ(text, "current version:  v786   -->   new version:  v787");
}

TEST(VersionLine, NoIdentifiedVersionGivesOnlyTheNewOne) {
    char text[kDialogTextSize];
    FormatVersionLine(text, -1, 0x787);
    EXPECT_STREQ(text, "new version: v787");
    FormatVersionLine(text, 0, 0x787);
    EXPECT_STREQ(text, "new version: v787");
    FormatVersionLine(text, 1, 0x787);
    EXPECT_STREQ(text, "current version:  v1   -->   new version:  v787");
}

TEST(ProgressTitle, PercentagesBelowHundredAndDoneAtHundred) {
    char text[kDialogTextSize];
    FormatProgressTitle(text, "QTV40z6", 0x787, 0);
    EXPECT_STREQ(text, " QTV40z6, v787 - 0%");
    FormatProgressTitle(text, "QTV40z6", 0x787, 99);
    EXPECT_STREQ(text, " QTV40z6, v787 - 99%");
    FormatProgressTitle(text, "QTV40z6", 0x787, 100);
    EXPECT_STREQ(text, " QTV40z6, v787 - DONE!");
}

} // namespace
