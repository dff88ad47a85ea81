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
#include <winternl.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr char kLogFileName[] = "zandacore-programmer.log";
constexpr char kRunHeaderStart[] = "=== zandacore Programmer ";
constexpr std::size_t kEarlierRunsKept = 4;
constexpr LONGLONG kLargestLogRead = 64LL * 1024 * 1024;              // beyond that, start afresh
constexpr NTSTATUS kNameNotFound = static_cast<NTSTATUS>(0xC0000034); // no such file

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

// The version and the payload's description from the version resource of the image that
// runs, never from the file by its path: a user may rename the running program and put
// another file under its name.
void ReadVersionResource(std::string* version, std::string* payload) {
    const HMODULE self = GetModuleHandleW(nullptr);
    const HRSRC found = FindResourceA(self, MAKEINTRESOURCEA(VS_VERSION_INFO), RT_VERSION);
    const HGLOBAL loaded = found != nullptr ? LoadResource(self, found) : nullptr;
    const auto* const data =
        static_cast<const unsigned char*>(loaded != nullptr ? LockResource(loaded) : nullptr);
    void* const module = LoadSystemLibrary("version.dll");
    decltype(&VerQueryValueW) query_value = nullptr;
    if (data != nullptr && ResolveEntry(module, "VerQueryValueW", &query_value)) {
        // VerQueryValueW may write into the block it reads, as into one GetFileVersionInfoW
        // filled: a copy with the room that one has.
        const DWORD size = SizeofResource(self, found);
        std::vector<unsigned char> block(data, data + size);
        block.resize(2 * static_cast<std::size_t>(size));
        void* value = nullptr;
        UINT length = 0;
        if (query_value(block.data(), L"\\StringFileInfo\\040904B0\\FileVersion", &value, &length))
            *version = Utf8(static_cast<const wchar_t*>(value));
        if (query_value(block.data(), L"\\StringFileInfo\\040904B0\\Comments", &value, &length))
            *payload = Utf8(static_cast<const wchar_t*>(value));
    }
    if (module != nullptr)
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

// Whether PATH names a place on a drive by its letter ("C:\..."): never a share
// ("\\server\...", "\\?\UNC\..."), a device ("\\.\...") or another name of the NT namespace.
bool IsDriveLetterPath(const wchar_t* path) {
    return ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
           path[1] == L':' && path[2] == L'\\';
}

// Whether PATH is a drive-letter path on a drive of the PC's own: a letter may name a share.
bool IsOnLocalDrive(const wchar_t* path) {
    if (!IsDriveLetterPath(path))
        return false;
    const wchar_t root[] = {path[0], L':', L'\\', L'\0'};
    const UINT type = GetDriveTypeW(root);
    return type != DRIVE_REMOTE && type != DRIVE_UNKNOWN && type != DRIVE_NO_ROOT_DIR;
}

// The temporary directory, opened as itself and held so that nobody can rename or delete it
// while the log is opened in it; refused unless it lies on a local drive and is no junction
// or link and none led to it (its final path is the path asked for, short names aside). Its
// final path into FINAL_PATH.
HANDLE OpenTempDirectory(const char* temp, wchar_t (&final_path)[kPathSize]) {
    wchar_t wide[kPathSize];
    wchar_t long_path[kPathSize];
    if (temp[0] == '\0' || !Utf8ToWide(temp, wide, kPathSize) || !IsOnLocalDrive(wide))
        return INVALID_HANDLE_VALUE;
    const DWORD length = GetLongPathNameW(wide, long_path, kPathSize);
    if (length == 0 || length >= kPathSize)
        return INVALID_HANDLE_VALUE;
    HANDLE directory = CreateFileW(wide, FILE_READ_ATTRIBUTES | FILE_TRAVERSE | SYNCHRONIZE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT |
                                       SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                   nullptr);
    if (directory == INVALID_HANDLE_VALUE)
        return directory;
    if (!IsDirectoryAt(directory, long_path) ||
        !GetFinalDosPath(directory, final_path, kPathSize) || !IsOnLocalDrive(final_path)) {
        CloseHandle(directory);
        return INVALID_HANDLE_VALUE;
    }
    return directory;
}

// Opens the file NAME in DIRECTORY, the handle that was checked and is still held, so
// no path is looked up again: an existing file as itself, else a new one. Never "open or
// create": through a link to a missing file that would create the file at the link's target.
// As a client that may be identified but never impersonated, should the name lead to a pipe.
HANDLE OpenOrCreateLog(HANDLE directory, wchar_t* name) {
    decltype(&NtCreateFile) create_file = nullptr;
    if (!ResolveEntry(GetModuleHandleW(L"ntdll.dll"), "NtCreateFile", &create_file))
        return INVALID_HANDLE_VALUE;
    const auto name_bytes = static_cast<USHORT>(std::wcslen(name) * sizeof(wchar_t));
    UNICODE_STRING object_name = {name_bytes, name_bytes, name};
    SECURITY_QUALITY_OF_SERVICE quality = {sizeof quality, SecurityIdentification,
                                           SECURITY_STATIC_TRACKING, FALSE};
    OBJECT_ATTRIBUTES attributes = {};
    attributes.Length = sizeof attributes;
    attributes.RootDirectory = directory;
    attributes.ObjectName = &object_name;
    attributes.Attributes = OBJ_CASE_INSENSITIVE;
    attributes.SecurityQualityOfService = &quality;
    constexpr ULONG kOptions =
        FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT;
    HANDLE file = INVALID_HANDLE_VALUE;
    IO_STATUS_BLOCK status = {};
    NTSTATUS result = kNameNotFound;
    for (const ULONG disposition : {FILE_OPEN, FILE_CREATE}) {
        if (result != kNameNotFound)
            break;
        result = create_file(&file, GENERIC_READ | GENERIC_WRITE | SYNCHRONIZE, &attributes,
                             &status, nullptr, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, disposition,
                             kOptions, nullptr, 0);
    }
    return NT_SUCCESS(result) ? file : INVALID_HANDLE_VALUE;
}

// Where the file NAME must lie: the temporary directory's final path, then NAME.
bool ExpectedLogPath(const wchar_t* directory_final, const wchar_t* name,
                     wchar_t (&expected)[kPathSize]) {
    const std::size_t length = std::wcslen(directory_final);
    if (length + 1 + std::wcslen(name) >= kPathSize)
        return false;
    std::wcscpy(expected, directory_final);
    if (length == 0 || expected[length - 1] != L'\\')
        std::wcscat(expected, L"\\");
    std::wcscat(expected, name);
    return true;
}

} // namespace

// The log file (and the station's record), opened for reading and writing by this run
// alone, and nothing else. The program runs elevated and the user owns the temporary
// directory: a link of any kind in the file's place (symbolic or hard link, junction or mount
// point on the way, an object manager link) would make it write another file. The directory
// is opened once, checked, and held without delete sharing while the file is opened by its
// name in that handle. Every check is made on the open handles, before a byte is written:
// the file is no reparse point and has one name, and its final path is the temporary
// directory's final path followed by the file's name.
void* OpenTempFileAsItself(const char* file_name) {
    wchar_t name[kPathSize];
    if (!Utf8ToWide(file_name, name, kPathSize))
        return INVALID_HANDLE_VALUE;
    char path[kPathSize] = {};
    GetTempDir(path);
    wchar_t directory_final[kPathSize];
    wchar_t expected[kPathSize];
    HANDLE directory = OpenTempDirectory(path, directory_final);
    if (directory == INVALID_HANDLE_VALUE)
        return directory;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (ExpectedLogPath(directory_final, name, expected))
        file = OpenOrCreateLog(directory, name);
    BY_HANDLE_FILE_INFORMATION info = {};
    wchar_t final_path[kPathSize];
    if (file != INVALID_HANDLE_VALUE &&
        (!GetFileInformationByHandle(file, &info) ||
         (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
         info.nNumberOfLinks != 1 || !GetFinalDosPath(file, final_path, kPathSize) ||
         !SamePath(final_path, expected))) {
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
    CloseHandle(directory);
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
