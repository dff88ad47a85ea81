#include "app/support_log.h"

#include "link/trace.h"
#include "payload/file_interface.h"
#include "usb/usb_paths.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr char kLogFileName[] = "zandacore-programmer.log";
constexpr char kRunHeaderStart[] = "=== zandacore Programmer ";
constexpr std::size_t kEarlierRunsKept = 4;
constexpr LONGLONG kLargestLogRead = 64LL * 1024 * 1024; // beyond that, start afresh

std::string Utf8(const wchar_t* text) {
    char converted[1024] = {};
    WideToUtf8(text, converted, sizeof converted);
    return converted;
}

// The last runs of OLD, each beginning at a header line; anything before the first
// header is not ours and is dropped.
std::string EarlierRunsKept(const std::string& old) {
    std::vector<std::size_t> run_starts;
    for (std::size_t line = 0; line < old.size();) {
        if (old.compare(line, sizeof kRunHeaderStart - 1, kRunHeaderStart) == 0)
            run_starts.push_back(line);
        const std::size_t end = old.find('\n', line);
        if (end == std::string::npos)
            break;
        line = end + 1;
    }
    if (run_starts.empty())
        return {};
    const std::size_t first_kept =
        run_starts.size() > kEarlierRunsKept ? run_starts.size() - kEarlierRunsKept : 0;
    std::string kept = old.substr(run_starts[first_kept]);
    if (!kept.empty() && kept.back() != '\n')
        kept += "\r\n"; // a run that ended inside a line must not swallow the next header
    return kept;
}

// The version and the payload's description from the program's own version resource.
void ReadVersionResource(std::string* version, std::string* payload) {
    wchar_t program[MAX_PATH + 1] = {};
    if (GetModuleFileNameW(nullptr, program, MAX_PATH) == 0)
        return;
    const DWORD size = GetFileVersionInfoSizeW(program, nullptr);
    std::vector<unsigned char> block(size);
    if (size == 0 || !GetFileVersionInfoW(program, 0, size, block.data()))
        return;
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\FileVersion", &value, &length))
        *version = Utf8(static_cast<const wchar_t*>(value));
    if (VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\Comments", &value, &length))
        *payload = Utf8(static_cast<const wchar_t*>(value));
}

// The version Windows really has: GetVersionEx reports at most what the manifest names.
std::string WindowsVersion() {
    using RtlGetVersionEntry = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    const auto get_version = reinterpret_cast<RtlGetVersionEntry>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    if (get_version == nullptr || get_version(&info) != 0)
        return "Windows (version unknown)";
    BOOL on_64_bit = FALSE;
    IsWow64Process(GetCurrentProcess(), &on_64_bit);
    char text[128] = {};
    std::snprintf(text, sizeof text, "Windows %lu.%lu.%lu %s", info.dwMajorVersion,
                  info.dwMinorVersion, info.dwBuildNumber, on_64_bit ? "64-bit" : "32-bit");
    return text;
}

std::string RunHeader() {
    std::string version = "(version unknown)";
    std::string payload = "(payload unknown)";
    ReadVersionResource(&version, &payload);
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    char started[32] = {};
    std::snprintf(started, sizeof started, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond);
    return std::string(kRunHeaderStart) + version + ", started " + started + ", " +
           WindowsVersion() + ", " + payload;
}

// The log file, opened for reading and writing by this run alone. A link or a reparse
// point planted in its place is refused: the program runs elevated, and must not
// truncate a file somewhere else through it.
HANDLE OpenLogFile() {
    char path[kPathSize] = {};
    GetTempDir(path);
    if (path[0] == '\0' || !AppendPathText(path, kLogFileName))
        return INVALID_HANDLE_VALUE;
    std::vector<wchar_t> wide(kPathSize);
    if (!Utf8ToWide(path, wide.data(), static_cast<int>(wide.size())))
        return INVALID_HANDLE_VALUE;
    HANDLE file =
        CreateFileW(wide.data(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return file;
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || info.nNumberOfLinks != 1) {
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

std::string ReadWholeFile(HANDLE file) {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size) || size.QuadPart > kLargestLogRead)
        return {};
    std::string text(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!text.empty() &&
        (!ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr) ||
         read != text.size()))
        return {};
    return text;
}

bool Rewrite(HANDLE file, const std::string& text) {
    DWORD written = 0;
    return SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 && SetEndOfFile(file) &&
           WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

} // namespace

void OpenSupportLog() {
    HANDLE file = OpenLogFile();
    if (file == INVALID_HANDLE_VALUE)
        return;
    if (!Rewrite(file, EarlierRunsKept(ReadWholeFile(file)))) {
        CloseHandle(file);
        return;
    }
    // Text mode, as standard output has it: the log holds the same bytes, with line ends
    // that every Windows editor shows.
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_APPEND | _O_TEXT);
    if (descriptor < 0) {
        CloseHandle(file);
        return;
    }
    std::FILE* stream = _fdopen(descriptor, "a");
    if (stream == nullptr) {
        _close(descriptor);
        return;
    }
    std::fprintf(stream, "%s\n", RunHeader().c_str());
    std::fflush(stream);
    TraceCopyTo(stream); // closed, and so flushed, when the process ends
}
