// The driver package as the build carries it: its members in the order they are written, every
// directory before anything in it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct PackageMember {
    std::string name; // resolved: no "./", no empty component, no trailing slash
    bool directory = false;
    bool executable = false;
    std::string data;
    // What the header says the file holds (a hard link: its target's); none for a folder.
    std::uint64_t size = 0;
};

// Why the package cannot be carried: the member as the archive stores it (empty for the archive
// as a whole) and the reason.
struct PackageRefusal {
    std::string member;
    std::string reason;
};

// Fills REFUSAL with STORED (the member, or empty) and REASON; returns false to be returned.
inline bool Refuse(PackageRefusal* refusal, std::string stored, std::string reason) {
    *refusal = {std::move(stored), std::move(reason)};
    return false;
}

struct Package {
    std::vector<PackageMember> members;
    std::map<std::string, std::size_t> position; // by name
    std::map<std::string, std::string> by_case;  // the name in upper case, as Windows compares
};

// Adds MEMBER as tar extracts it: directories not listed yet come first, and a name packed again
// replaces its earlier copy where that stood. False, with REFUSAL filled, when the member cannot
// lie beside what is there; STORED names it.
bool AddPackageMember(Package* package, PackageMember member, const std::string& stored,
                      PackageRefusal* refusal);
