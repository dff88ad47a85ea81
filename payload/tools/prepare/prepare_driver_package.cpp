// prepare-driver-package IN.tar OUT.tar: writes the vendor's driver package as a plain ustar
// archive that the program's own extractor unpacks exactly, after proving that it does. A
// member that cannot be carried fails it with one line naming the member, and no OUT.
#include "payload/tools/prepare/package_proof.h"
#include "payload/tools/prepare/ustar_writer.h"
#include "payload/tools/prepare/vendor_archive.h"
#include "payload/tools/whole_file.h"
#include "usb/usb_install.h"

#include <clocale>
#include <cstdio>
#include <filesystem>

namespace {

bool Prepare(const char* in, std::vector<std::uint8_t>* out, PackageRefusal* refusal) {
    std::vector<std::uint8_t> vendor;
    if (!ReadWholeFile(in, &vendor))
        return Refuse(refusal, "", "cannot be read");
    Package package;
    if (!ReadVendorArchive(vendor, &package, refusal))
        return false;
    if (package.members.empty())
        return Refuse(refusal, "", "holds no members");
    // The program starts this file from the package's top folder; without it every PC's
    // driver installation would fail.
    const auto installer = package.position.find(kDriverInstallerFileName);
    if (installer == package.position.end() || package.members[installer->second].directory)
        return Refuse(refusal, "",
                      std::string("has no file ") + kDriverInstallerFileName +
                          " in its top folder, which the program starts");
    if (!WriteUstar(package.members, out))
        return Refuse(refusal, "", "holds a member too large for a tar size field");
    return ProvePackage(package.members, *out, refusal);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: prepare-driver-package IN.tar OUT.tar\n");
        return 2;
    }
    std::error_code unknown;
    if (std::filesystem::equivalent(argv[1], argv[2], unknown)) {
        std::fprintf(stderr, "prepare-driver-package: OUT must not be IN\n");
        return 2;
    }
    // libarchive hands out names in the locale's character set; the package's is UTF-8.
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) {
        std::fprintf(stderr, "prepare-driver-package: the C.UTF-8 locale is missing\n");
        return 1;
    }
    std::vector<std::uint8_t> out;
    PackageRefusal refusal;
    if (!Prepare(argv[1], &out, &refusal)) {
        std::remove(argv[2]); // no OUT of an earlier run is left to be taken for this one
        if (refusal.member.empty())
            std::fprintf(stderr, "prepare-driver-package: %s: %s\n", argv[1],
                         refusal.reason.c_str());
        else
            std::fprintf(stderr, "prepare-driver-package: %s: member \"%s\": %s\n", argv[1],
                         refusal.member.c_str(), refusal.reason.c_str());
        return 1;
    }
    if (!WriteWholeFile(argv[2], out)) {
        std::remove(argv[2]);
        std::fprintf(stderr, "prepare-driver-package: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
