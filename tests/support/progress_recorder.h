// SetProgress for native tests: remembers every percentage passed, in order.
#pragma once
#include <cstdint>
#include <vector>

extern std::vector<std::int32_t> recorded_progress;
