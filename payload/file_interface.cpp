// The one place where the Linux and Windows runtimes differ for the file interface.
#include "payload/file_interface.h"

#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <windows.h>

namespace {

// A UTF-8 path of up to 4095 bytes never needs more UTF-16 characters.
constexpr int kWidePathSize = 4096;

} // namespace

bool Utf8ToWide(const char* text, wchar_t* wide, int capacity) {
    if (capacity <= 0)
        return false;
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wide, capacity) > 0)
        return true;
    wide[0] = L'\0';
    return false;
}

bool WideToUtf8(const wchar_t* text, char* utf8, int capacity) {
    if (capacity <= 0)
        return false;
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, utf8, capacity, nullptr,
                            nullptr) > 0)
        return true;
    utf8[0] = '\0';
    return false;
}

int FileOpenForWriting(const char* path) {
    wchar_t wide[kWidePathSize];
    if (!Utf8ToWide(path, wide, kWidePathSize))
        return -1;
    // _S_IREAD | _S_IWRITE is what the runtime makes of 0666.
    return _wopen(wide, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}

int FileWrite(int descriptor, const void* data, unsigned count) {
    return _write(descriptor, data, count);
}

int FileClose(int descriptor) {
    return _close(descriptor);
}

int DirectoryCreate(const char* path) {
    wchar_t wide[kWidePathSize];
    if (!Utf8ToWide(path, wide, kWidePathSize))
        return -1;
    return _wmkdir(wide);
}

bool DirectoryExists(const char* path) {
    wchar_t wide[kWidePathSize];
    if (!Utf8ToWide(path, wide, kWidePathSize))
        return false;
    // The runtime's stat refuses a trailing separator; the attribute query does not.
    const DWORD attributes = GetFileAttributesW(wide);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::uint32_t FileLastError() {
    return GetLastError();
}
#else
#include <cerrno>
#include <unistd.h>

int FileOpenForWriting(const char* path) {
    return open(path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
}

int FileWrite(int descriptor, const void* data, unsigned count) {
    return static_cast<int>(write(descriptor, data, count));
}

int FileClose(int descriptor) {
    return close(descriptor);
}

int DirectoryCreate(const char* path) {
    return mkdir(path, 0777);
}

bool DirectoryExists(const char* path) {
    struct stat status {};
    return stat(path, &status) == 0 && S_ISDIR(status.st_mode);
}

std::uint32_t FileLastError() {
    return static_cast<std::uint32_t>(errno);
}
#endif
