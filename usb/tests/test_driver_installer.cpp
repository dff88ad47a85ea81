// Stands in for the driver package's installer: records where and how it was started in
// "installer-started.txt" of its working directory (renamed into place when complete).
#include <windows.h>

#include <cstdio>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR parameters, int show) {
    char directory[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, directory);
    std::FILE* record = std::fopen("installer-started.tmp", "wb");
    if (record == nullptr)
        return 1;
    std::fprintf(record, "directory=%s\nparameters=%s\nshow=%d\n", directory, parameters, show);
    if (std::fclose(record) != 0)
        return 1;
    return MoveFileA("installer-started.tmp", "installer-started.txt") ? 0 : 1;
}
