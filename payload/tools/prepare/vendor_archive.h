// The vendor's driver package as libarchive reads it: any tar format (ustar, GNU, pax, v7,
// sparse members), compressed or not.
#pragma once
#include "payload/tools/prepare/package.h"

#include <cstdint>
#include <vector>

// Fills PACKAGE with what extracting ARCHIVE would leave on disk. False, with REFUSAL filled,
// for an archive that cannot be read or a member that cannot be carried.
bool ReadVendorArchive(const std::vector<std::uint8_t>& archive, Package* package,
                       PackageRefusal* refusal);
