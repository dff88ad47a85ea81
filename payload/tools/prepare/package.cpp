#include "payload/tools/prepare/package.h"

#include <utility>

namespace {

std::string UpperCase(const std::string& name) {
    std::string upper = name;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

// Lists NAME, or replaces the copy listed before.
bool Place(Package* package, PackageMember member, const std::string& stored,
           PackageRefusal* refusal) {
    const auto listed = package->position.find(member.name);
    if (listed != package->position.end()) {
        PackageMember& earlier = package->members[listed->second];
        if (earlier.directory != member.directory)
            return Refuse(refusal, stored, "packed both as a file and as a folder");
        earlier = std::move(member);
        return true;
    }
    const auto [same, added] = package->by_case.emplace(UpperCase(member.name), member.name);
    if (!added)
        return Refuse(refusal, stored,
                      "the same name to Windows, which ignores letter case, as \"" + same->second +
                          "\"");
    package->position.emplace(member.name, package->members.size());
    package->members.push_back(std::move(member));
    return true;
}

} // namespace

bool AddPackageMember(Package* package, PackageMember member, const std::string& stored,
                      PackageRefusal* refusal) {
    for (std::size_t slash = member.name.find('/'); slash != std::string::npos;
         slash = member.name.find('/', slash + 1)) {
        PackageMember parent{member.name.substr(0, slash), true, true, {}};
        const auto listed = package->position.find(parent.name);
        if (listed == package->position.end()) {
            if (!Place(package, std::move(parent), stored, refusal))
                return false;
        } else if (!package->members[listed->second].directory) {
            return Refuse(refusal, stored, "lies in \"" + parent.name + "\", which is a file");
        }
    }
    return Place(package, std::move(member), stored, refusal);
}
