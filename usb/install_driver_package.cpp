#include "payload/bz2_decoder.h"
#include "payload/tar_extract.h"
#include "usb/usb_install.h"
#include "usb/usb_paths.h"

#include <cstdio>
#include <new>
#include <random>

namespace {

// Names are drawn at random, so another program cannot take them all beforehand.
constexpr int kDirectoryAttempts = 16;

// The installer runs as administrator: the package gets a new directory of its own below
// the Windows directory's Temp, where a user may create folders but may neither rename nor
// delete an administrator's. A name that exists already is never taken, whoever made it.
std::int32_t MakePackageDirectory(const char* temp, char (&directory)[kPathSize]) {
    if (temp[0] == '\0')
        return InstallDirectoryNotCreated; // the directory did not fit
    std::random_device random;
    for (int attempt = 0; attempt < kDirectoryAttempts; ++attempt) {
        char name[sizeof kPackageDirectoryPrefix + 10];
        std::snprintf(name, sizeof name, "%s%08x\\", kPackageDirectoryPrefix,
                      static_cast<unsigned>(random()));
        directory[0] = '\0';
        if (!AppendPathText(directory, temp) || !AppendPathText(directory, name))
            return InstallDirectoryNotCreated;
        const std::int32_t result = CreatePackageDirectory(directory);
        if (result != InstallDirectoryTaken)
            return result;
    }
    return InstallDirectoryNotCreated;
}

// The installer's own temporary directory in the package's DIRECTORY, made before any
// member lands there: a self-extracting installer unpacks into TEMP and runs from there.
std::int32_t MakeInstallerTemp(const char* directory, char (&installer_temp)[kPathSize]) {
    if (!AppendPathText(installer_temp, directory) ||
        !AppendPathText(installer_temp, kInstallerTempName) ||
        CreatePackageDirectory(installer_temp) != 0)
        return InstallDirectoryNotCreated;
    return 0;
}

// Unpacks the archive into a new directory and starts its installer there.
std::int32_t UnpackAndStart(const std::uint8_t* archive, const char* temp) {
    char(&directory)[kPathSize] = driver_package_directory;
    std::int32_t result = MakePackageDirectory(temp, directory);
    if (result != 0)
        directory[0] = '\0';
    char installer_temp[kPathSize] = {};
    if (result == 0)
        result = MakeInstallerTemp(directory, installer_temp);
    if (result == 0)
        result = TarExtract(archive, kDriverPackageBufferSize, directory);
    char installer[kPathSize] = {};
    if (result == 0 && (!AppendPathText(installer, directory) ||
                        !AppendPathText(installer, kDriverInstallerFileName) ||
                        !StartDriverInstaller(installer, directory, installer_temp)))
        result = InstallerNotStarted;
    ReleasePackageDirectory();
    return result;
}

} // namespace

char driver_package_directory[kPathSize] = {};

std::int32_t InstallDriverPackageFrom(const std::uint8_t* compressed, std::uint32_t length) {
    driver_package_directory[0] = '\0';
    char temp[kPathSize] = {};
    GetWindowsTempDir(temp);
    // The extractor walks the whole buffer, not just the decoded archive: zero-filled, the
    // rest can never pass for a member.
    std::uint8_t* archive = new (std::nothrow) std::uint8_t[kDriverPackageBufferSize]();
    if (archive == nullptr)
        return InstallNoMemory;
    std::int32_t result = Bz2DecodeToBuffer(compressed, length, archive, kDriverPackageBufferSize);
    if (result == 0)
        result = UnpackAndStart(archive, temp);
    delete[] archive;
    return result;
}
