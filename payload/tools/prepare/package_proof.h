// The proof that the PC unpacks the written archive exactly as the package was read.
#pragma once
#include "payload/tools/prepare/package.h"

#include <cstdint>
#include <vector>

// Extracts ARCHIVE with the program's own TarExtract into a scratch folder and compares what it
// left there with MEMBERS: names, kinds, bytes. False, with REFUSAL naming the first member that
// differs, when they disagree.
bool ProvePackage(const std::vector<PackageMember>& members,
                  const std::vector<std::uint8_t>& archive, PackageRefusal* refusal);
