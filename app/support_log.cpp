#include "app/support_log.h"

#include "link/trace.h"
#include "payload/file_interface.h"
#include "usb/final_path.h"
#include "usb/system_failure.h"
#include "usb/system_library.h"
#include "usb/usb_paths.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr char kLogFileName[] = "zandacore-programmer.log";
constexpr char kRunHeaderStart[] = "=== zandacore Programmer ";
constexpr std::size_t kEarlierRunsKept = 4;
constexpr LONGLONG kLargestLogRead = 64LL * 1024 * 1024; // beyond that, start afresh

std::FILE* log_stream = nullptr; // this run's log, null when there is none

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

// The version calls, from the system directory's version.dll.
struct VersionCalls {
    decltype(&GetFileVersionInfoSizeW) info_size;
    decltype(&GetFileVersionInfoW) info;
    decltype(&VerQueryValueW) query_value;
};

// The version and the payload's description from the program's own version resource.
void ReadVersionResource(std::string* version, std::string* payload) {
    wchar_t program[MAX_PATH + 1] = {};
    if (GetModuleFileNameW(nullptr, program, MAX_PATH) == 0)
        return;
    void* const module = LoadSystemLibrary("version.dll");
    VersionCalls calls = {};
    if (!ResolveEntry(module, "GetFileVersionInfoSizeW", &calls.info_size) ||
        !ResolveEntry(module, "GetFileVersionInfoW", &calls.info) ||
        !ResolveEntry(module, "VerQueryValueW", &calls.query_value)) {
        if (module != nullptr)
            FreeLibrary(static_cast<HMODULE>(module));
        return;
    }
    const DWORD size = calls.info_size(program, nullptr);
    std::vector<unsigned char> block(size);
    void* value = nullptr;
    UINT length = 0;
    if (size != 0 && calls.info(program, 0, size, block.data())) {
        if (calls.query_value(block.data(), L"\\StringFileInfo\\040904B0\\FileVersion", &value,
                              &length))
            *version = Utf8(static_cast<const wchar_t*>(value));
        if (calls.query_value(block.data(), L"\\StringFileInfo\\040904B0\\Comments", &value,
                              &length))
            *payload = Utf8(static_cast<const wchar_t*>(value));
    }
    FreeLibrary(static_cast<HMODULE>(module));
}

// The version Windows really has: GetVersionEx reports at most what the manifest names.
std::string WindowsVersion() {
    using RtlGetVersionEntry = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    RtlGetVersionEntry get_version = nullptr;
    if (!ResolveEntry(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion", &get_version) ||
        get_version(&info) != 0)
        return "Windows (version unknown)";
    // A 32-bit program learns of 64-bit Windows from WOW64; a 64-bit build runs on nothing else.
    BOOL on_64_bit = sizeof(void*) == 8;
    if (!on_64_bit)
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

// The temporary directory, opened as itself (a junction or mount point in its place is
// refused), and its final path.
HANDLE OpenTempDirectory(const char* temp, wchar_t (&final_path)[kPathSize]) {
    wchar_t wide[kPathSize];
    if (temp[0] == '\0' || !Utf8ToWide(temp, wide, kPathSize))
        return INVALID_HANDLE_VALUE;
    HANDLE directory = CreateFileW(
        wide, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (directory == INVALID_HANDLE_VALUE)
        return directory;
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(directory, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        !GetFinalDosPath(directory, final_path, kPathSize)) {
        CloseHandle(directory);
        return INVALID_HANDLE_VALUE;
    }
    return directory;
}

// Opens the file named WIDE: an existing file as itself, else a new one. Never OPEN_ALWAYS:
// through a link to a missing file that would create the file at the link's target.
HANDLE OpenOrCreateLog(const wchar_t* wide) {
    constexpr DWORD kAccess = GENERIC_READ | GENERIC_WRITE;
    constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE file =
        CreateFileW(wide, kAccess, FILE_SHARE_READ, nullptr, OPEN_EXISTING, kFlags, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND)
        file = CreateFileW(wide, kAccess, FILE_SHARE_READ, nullptr, CREATE_NEW, kFlags, nullptr);
    return file;
}

// Where the file must lie: the temporary directory's final path, then FILE_NAME.
bool ExpectedLogPath(const wchar_t* directory_final, const char* file_name,
                     wchar_t (&expected)[kPathSize]) {
    wchar_t name[kPathSize];
    const std::size_t length = std::wcslen(directory_final);
    if (!Utf8ToWide(file_name, name, kPathSize) || length + 1 + std::wcslen(name) >= kPathSize)
        return false;
    std::wcscpy(expected, directory_final);
    if (length == 0 || expected[length - 1] != L'\\')
        std::wcscat(expected, L"\\");
    std::wcscat(expected, name);
    return true;
}

} // namespace

// The log file (and the station's record), opened for reading and writing by this run
// alone, and nothing else. The program runs elevated and the user owns the temporary directory: a
// link of any kind in the log's place (symbolic or hard link, junction or mount point on the way,
// an object manager link) would make it write another file. Every check is made on the open handle,
// before a byte is written: the file is no reparse point and has one name, and its final
// path is the temporary directory's final path followed by the log's name.
void* OpenTempFileAsItself(const char* file_name) {
    char path[kPathSize] = {};
    GetTempDir(path);
    wchar_t directory_final[kPathSize];
    wchar_t expected[kPathSize];
    HANDLE directory = OpenTempDirectory(path, directory_final);
    if (directory == INVALID_HANDLE_VALUE)
        return directory;
    wchar_t wide[kPathSize];
    HANDLE file = INVALID_HANDLE_VALUE;
    if (ExpectedLogPath(directory_final, file_name, expected) && AppendPathText(path, file_name) &&
        Utf8ToWide(path, wide, kPathSize))
        file = OpenOrCreateLog(wide);
    CloseHandle(directory);
    if (file == INVALID_HANDLE_VALUE)
        return file;
    BY_HANDLE_FILE_INFORMATION info = {};
    wchar_t final_path[kPathSize];
    if (!GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        info.nNumberOfLinks != 1 || !GetFinalDosPath(file, final_path, kPathSize) ||
        !SamePath(final_path, expected)) {
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

namespace {

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
    HANDLE file = OpenTempFileAsItself(kLogFileName);
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
    log_stream = stream;
    TraceCopyTo(stream); // closed, and so flushed, when the process ends
}

void LogNote(const char* format, ...) {
    if (log_stream == nullptr)
        return;
    TraceFlush(); // the trace before it stays before it
    std::fputs(kLogNoteMark, log_stream);
    std::va_list arguments;
    va_start(arguments, format);
    std::vfprintf(log_stream, format, arguments);
    va_end(arguments);
    std::fputc('\n', log_stream);
    std::fflush(log_stream);
}

void LogSystemFailure() {
    if (last_system_failure.what[0] == '\0')
        return;
    const DWORD error = last_system_failure.error;
    if (error == 0) {
        LogNote("failed: %s", last_system_failure.what);
        last_system_failure = {};
        return;
    }
    // English where Windows has it, else the user's language.
    wchar_t text[512] = {};
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    if (FormatMessageW(flags, nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text,
                       512, nullptr) == 0)
        FormatMessageW(flags, nullptr, error, 0, text, 512, nullptr);
    std::string message = Utf8(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    LogNote("failed: %s: error %lu: %s", last_system_failure.what, error,
            message.empty() ? "(no text)" : message.c_str());
    last_system_failure = {};
}

void LogBox(std::uint32_t type, const char* text) {
    std::string one_line;
    for (const char* c = text; *c != '\0'; ++c)
        one_line += *c == '\n' ? std::string("\\n") : std::string(1, *c);
    LogNote("box %s: %s", (type & MB_ICONMASK) == MB_ICONERROR ? "error" : "info",
            one_line.c_str());
}
