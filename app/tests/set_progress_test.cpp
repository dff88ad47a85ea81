// SetProgress before the dialog exists: the value is clamped and recorded, nothing is
// shown, and a repeated value is no change.
#include "app/shell_state.h"
#include "link/progress.h"

#include <gtest/gtest.h>

namespace {

TEST(SetProgressWithoutBar, RecordsClampedValuesAndReportsNoBar) {
    ASSERT_EQ(shell_state.progress_bar, nullptr);
    EXPECT_EQ(shell_state.last_progress, -1);

    EXPECT_EQ(SetProgress(0), -1); // the first 0 is a change from -1
    EXPECT_EQ(shell_state.last_progress, 0);
    EXPECT_EQ(SetProgress(0), 0);  // unchanged: nothing to do
    EXPECT_EQ(SetProgress(-5), 0); // clamps to 0, still unchanged

    EXPECT_EQ(SetProgress(57), -1);
    EXPECT_EQ(shell_state.last_progress, 57);
    EXPECT_EQ(SetProgress(250), -1);
    EXPECT_EQ(shell_state.last_progress, 100);
    EXPECT_EQ(SetProgress(100), 0);
    EXPECT_EQ(SetProgress(-5), -1);
    EXPECT_EQ(shell_state.last_progress, 0);
}

} // namespace
