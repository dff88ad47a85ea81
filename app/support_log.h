// The support log: a copy of the trace in the temporary directory, because the program,
// started through the elevation prompt, has no standard output anybody can read; and
// beside the trace, lines of its own that say what the start decided and why.
#pragma once
#include <cstdint>

// Opens "zandacore-programmer.log" in the temporary directory, keeps the four runs
// before this one, writes this run's header line and sends every later trace there as
// well. When the log cannot be written, the program runs without it.
void OpenSupportLog();

// Opens FILE_NAME in the temporary directory for reading and writing by this run alone,
// as the log is opened: never through a link, never a file elsewhere. The handle, or
// INVALID_HANDLE_VALUE.
void* OpenTempFileAsItself(const char* file_name);

// Marks the log's own lines, so that nobody takes them for the program's trace.
inline constexpr char kLogNoteMark[] = "## ";

// Writes "## " and the printf-style text as a line of the log alone, never on standard
// output; nothing when there is no log.
[[gnu::format(printf, 1, 2)]] void LogNote(const char* format, ...);

// Notes the last failing system call of the USB prerequisites: what failed, its error
// code and Windows' text for it.
void LogSystemFailure();

// Notes a box: its kind (TYPE as given to the box) and its text on one line.
void LogBox(std::uint32_t type, const char* text);
