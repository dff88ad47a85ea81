// Knobs for the nothrow allocation forms, which the Wine test programs replace: a chosen
// allocation fails, or fresh blocks arrive holding stale bytes.
#pragma once
#include <cstdint>
#include <vector>

// The n-th nothrow allocation from now fails (n >= 1); 0: none does.
extern int nothrow_new_fail_at;

// Laid into every fresh nothrow block (as far as it reaches) while not empty.
extern std::vector<std::uint8_t> nothrow_new_stale_bytes;
