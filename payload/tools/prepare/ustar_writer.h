// The package as a plain ustar archive, laid out as GNU tar's ustar format lays it out; the same
// members always give the same bytes.
#pragma once
#include "payload/tools/prepare/package.h"

#include <cstdint>
#include <vector>

// Owner 0, time 0, mode 755 for folders and programs and 644 for the rest; only the name field
// names a member. False when a member is too large for the size field.
bool WriteUstar(const std::vector<PackageMember>& members, std::vector<std::uint8_t>* archive);
