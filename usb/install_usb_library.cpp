#include "payload/bz2_decoder.h"
#include "payload/file_interface.h"
#include "usb/system_failure.h"
#include "usb/usb_install.h"
#include "usb/usb_paths.h"

#include <climits>
#include <cstdlib>

namespace {

// The file is emptied on opening, so a longer old library keeps no stale tail; a short
// write or a failing close leaves a library that must not count as installed.
std::int32_t WriteLibraryFile(const char* path, const std::uint8_t* library, std::uint32_t length) {
    if (length > INT_MAX)
        return InstallLibraryNotWritten;
    const int file = FileOpenForWriting(path);
    if (file < 0) {
        RecordSystemFailure("opening", path, FileLastError());
        return InstallLibraryNotWritten;
    }
    const bool written = FileWrite(file, library, length) == static_cast<int>(length);
    if (!written)
        RecordSystemFailure("writing", path, FileLastError());
    const bool closed = FileClose(file) == 0;
    if (written && !closed)
        RecordSystemFailure("closing", path, FileLastError());
    return written && closed ? 0 : InstallLibraryNotWritten;
}

} // namespace

std::int32_t InstallUsbLibraryFrom(const std::uint8_t* compressed, std::uint32_t length) {
    std::uint32_t library_length = 0;
    std::uint8_t* library = Bz2DecodeToHeap(compressed, length, &library_length);
    if (library == nullptr)
        return InstallLibraryNotDecoded;
    char path[kPathSize] = {};
    GetSystemDir(path);
    std::int32_t result = InstallLibraryNotWritten;
    // An empty directory did not fit; the file name alone would be a relative path.
    if (path[0] != '\0' && AppendPathText(path, kUsbLibraryFileName))
        result = WriteLibraryFile(path, library, library_length);
    std::free(library);
    return result;
}
