// The one place where the Linux and Windows runtimes differ for the file interface.
#include "payload/file_interface.h"

#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <windows.h>

int FileOpenForWriting(const char* path) {
    // _S_IREAD | _S_IWRITE is what the runtime makes of 0666.
    return _open(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}

int FileWrite(int descriptor, const void* data, unsigned count) {
    return _write(descriptor, data, count);
}

int FileClose(int descriptor) {
    return _close(descriptor);
}

int DirectoryCreate(const char* path) {
    return _mkdir(path);
}

bool DirectoryExists(const char* path) {
    // The runtime's stat refuses a trailing separator; the attribute query does not.
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
#else
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
#endif
