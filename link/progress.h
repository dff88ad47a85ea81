// The one way to report update progress (0 to 100). The dialog implements it on
// Windows; native tests link a recorder.
#pragma once
#include <cstdint>

std::int32_t SetProgress(std::int32_t percent);
