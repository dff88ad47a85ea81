// Stands in for the driver package's installer: records where and how it was started in
// "installer-started.txt" of its working directory (renamed into place when complete):
// that directory and its own path in UTF-8, its parameters and show command.
#include <windows.h>

#include <cstdio>

namespace {

void Utf8(const wchar_t* wide, char (&utf8)[4 * MAX_PATH]) {
    if (WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, nullptr, nullptr) == 0)
        utf8[0] = '\0';
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR parameters, int show) {
    wchar_t wide[MAX_PATH] = {};
    char directory[4 * MAX_PATH] = {};
    char program[4 * MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, wide);
    Utf8(wide, directory);
    GetModuleFileNameW(nullptr, wide, MAX_PATH);
    Utf8(wide, program);
    std::FILE* record = std::fopen("installer-started.tmp", "wb");
    if (record == nullptr)
        return 1;
    std::fprintf(record, "directory=%s\nprogram=%s\nparameters=%s\nshow=%d\n", directory, program,
                 parameters, show);
    if (std::fclose(record) != 0)
        return 1;
    return MoveFileA("installer-started.tmp", "installer-started.txt") ? 0 : 1;
}
