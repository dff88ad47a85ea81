#include "tests/support/progress_recorder.h"

#include "link/progress.h"

std::vector<std::int32_t> recorded_progress;

std::int32_t SetProgress(std::int32_t percent) {
    recorded_progress.push_back(percent);
    return 0;
}
