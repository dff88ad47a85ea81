#include "payload/bz2_decoder.h"
#include "payload/tar_extract.h"
#include "usb/usb_install.h"
#include "usb/usb_paths.h"

#include <new>

std::int32_t InstallDriverPackageFrom(const std::uint8_t* compressed, std::uint32_t length) {
    char directory[kPathSize] = {};
    GetTempDir(directory);
    // The extractor walks the whole buffer, not just the decoded archive: zero-filled, the
    // rest can never pass for a member.
    std::uint8_t* archive = new (std::nothrow) std::uint8_t[kDriverPackageBufferSize]();
    if (archive == nullptr)
        return InstallNoMemory;
    // An empty directory (its value did not fit) is refused by the extractor.
    std::int32_t result = Bz2DecodeToBuffer(compressed, length, archive, kDriverPackageBufferSize);
    if (result == 0)
        result = TarExtract(archive, kDriverPackageBufferSize, directory);
    delete[] archive;
    if (result != 0)
        return result;

    char installer[kPathSize] = {};
    if (!AppendPathText(installer, directory) ||
        !AppendPathText(installer, kDriverInstallerFileName) ||
        !StartDriverInstaller(installer, directory))
        return InstallerNotStarted;
    return 0;
}
