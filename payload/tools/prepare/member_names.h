// A member's name as the PC's extractor will use it, and what Windows cannot hold.
#pragma once
#include <string>

// Resolves the name the archive stores ("./" and empty components and a trailing slash dropped)
// into RESOLVED, which is empty for the package's own folder. Returns why the name cannot be
// carried unchanged, or null when it can.
const char* ResolveMemberName(const std::string& stored, std::string* resolved);
