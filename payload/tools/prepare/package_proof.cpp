#include "payload/tools/prepare/package_proof.h"

#include "payload/tar_extract.h"
#include "payload/tools/whole_file.h"

#include <filesystem>
#include <map>
#include <stdlib.h>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Unpacked {
    bool directory = false;
    std::string data;
};

// What the extractor left below ROOT, by relative name.
std::map<std::string, Unpacked> ReadTree(const fs::path& root) {
    std::map<std::string, Unpacked> tree;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        Unpacked& unpacked = tree[fs::relative(entry.path(), root).generic_string()];
        unpacked.directory = entry.is_directory();
        std::vector<std::uint8_t> bytes;
        if (!unpacked.directory && ReadWholeFile(entry.path().c_str(), &bytes))
            unpacked.data.assign(bytes.begin(), bytes.end());
    }
    return tree;
}

// How UNPACKED differs from MEMBER, or empty. A file's length is held to the size its header
// gave, not to the bytes read for it, so a file read short cannot pass.
std::string Difference(const PackageMember& member, const Unpacked& unpacked) {
    if (unpacked.directory != member.directory)
        return "as another kind of member";
    if (!member.directory && unpacked.data.size() != member.size)
        return "with " + std::to_string(unpacked.data.size()) + " bytes, not the " +
               std::to_string(member.size) + " it was packed with";
    return unpacked.data != member.data ? "with other bytes" : "";
}

// Whether the unpacked tree holds the members and nothing else; REFUSAL names the first
// difference.
bool SameTree(const std::vector<PackageMember>& members, std::map<std::string, Unpacked> tree,
              PackageRefusal* refusal) {
    for (const PackageMember& member : members) {
        const auto unpacked = tree.find(member.name);
        const std::string difference =
            unpacked == tree.end() ? "missing" : Difference(member, unpacked->second);
        if (!difference.empty())
            return Refuse(refusal, member.name, difference);
        tree.erase(unpacked);
    }
    return tree.empty() || Refuse(refusal, tree.begin()->first, "where no member is");
}

} // namespace

bool ProvePackage(const std::vector<PackageMember>& members,
                  const std::vector<std::uint8_t>& archive, PackageRefusal* refusal) {
    std::string scratch = (fs::temp_directory_path() / "prepare-driver-package.XXXXXX").string();
    if (mkdtemp(scratch.data()) == nullptr)
        return Refuse(refusal, "", "cannot make a scratch folder to prove the package in");
    const std::int32_t result =
        TarExtract(archive.data(), archive.size(), (fs::path(scratch) / "").c_str());
    const bool same = SameTree(members, ReadTree(scratch), refusal);
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
    if (!same) {
        refusal->reason = "the program's extractor (result " + std::to_string(result) +
                          ") leaves it " + refusal->reason;
        return false;
    }
    return result == TarOk ||
           Refuse(refusal, "", "the program's extractor fails with " + std::to_string(result));
}
