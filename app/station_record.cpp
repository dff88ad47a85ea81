#include "app/station_record.h"

#include "app/support_log.h"

#include <windows.h>

#include <cstdio>

namespace {

constexpr char kRecordFileName[] = "zandacore-station.csv";

HANDLE record_file = INVALID_HANDLE_VALUE; // held for the whole session

// A text field, quoted; a leading = + - @ gets an apostrophe, so that a spreadsheet never
// takes a module's string for a formula. Control characters become '?'.
std::string CsvText(const char* text) {
    std::string field = "\"";
    if (text[0] == '=' || text[0] == '+' || text[0] == '-' || text[0] == '@')
        field += '\'';
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == '"')
            field += "\"\"";
        else
            field += static_cast<unsigned char>(*c) < 0x20 ? '?' : *c;
    }
    return field + "\"";
}

bool WriteAll(const std::string& text) {
    DWORD written = 0;
    return WriteFile(record_file, text.data(), static_cast<DWORD>(text.size()), &written,
                     nullptr) &&
           written == text.size() && FlushFileBuffers(record_file);
}

} // namespace

std::string StationRecordLine(const StationVisit& visit) {
    char version[16] = "";
    if (visit.version >= 1)
        std::snprintf(version, sizeof version, "%d", static_cast<int>(visit.version));
    char seconds[32] = {};
    std::snprintf(seconds, sizeof seconds, "%.1f", visit.seconds);
    return std::string(visit.time) + "," + CsvText(visit.serial) + "," + CsvText(visit.location) +
           "," + version + "," + CsvText(visit.result) + "," + seconds + "\r\n";
}

bool OpenStationRecord() {
    HANDLE file = OpenTempFileAsItself(kRecordFileName);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    record_file = file;
    // Append only: earlier lines are never rewritten. A line cut short by a program that
    // was killed keeps its bytes; the next line starts on a line of its own.
    LARGE_INTEGER size = {};
    char last = '\n';
    DWORD read = 0;
    const LARGE_INTEGER back_one = {{static_cast<DWORD>(-1), -1}};
    if (!GetFileSizeEx(file, &size) ||
        (size.QuadPart > 0 && (!SetFilePointerEx(file, back_one, nullptr, FILE_END) ||
                               !ReadFile(file, &last, 1, &read, nullptr) || read != 1)) ||
        !SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_END) ||
        !WriteAll(size.QuadPart == 0 ? kStationRecordHeader
                  : last == '\n'     ? ""
                                     : "\r\n")) {
        CloseHandle(file);
        record_file = INVALID_HANDLE_VALUE;
        return false;
    }
    return true;
}

bool AppendStationRecord(const StationVisit& visit) {
    return record_file != INVALID_HANDLE_VALUE && WriteAll(StationRecordLine(visit));
}
