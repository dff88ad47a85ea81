// The station's record: one CSV line for every visit of a module, beside the support log,
// so that it says afterwards which module got which firmware and whether it was seen
// running it.
#pragma once
#include "link/identify.h"
#include "usb/usb_scan.h"

#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr std::size_t kVisitResultSize = 128;

struct StationVisit {
    char time[24];                 // local time the module was met
    char serial[kSerialTextSize];  // its serial-number string
    char location[kUsbTextSize];   // its USB location, as the system lists it
    std::int32_t version;          // as identified; none when below 1
    char result[kVisitResultSize]; // updated, verified, already current, failed: …
    double seconds;                // from meeting the module to its result
};

inline constexpr char kStationRecordHeader[] =
    "time,serial number,USB location,version found,result,seconds\r\n";

// The visit as one CSV line, ended by CR LF.
std::string StationRecordLine(const StationVisit& visit);

// Opens (or creates, with its header) "zandacore-station.csv" in the temporary directory,
// with the log's protections. False when it cannot: the station runs on and says so.
bool OpenStationRecord();

// Appends the visit's line in one write, flushed to the disk before it returns, so that a
// program killed later loses no line. False when there is no record or the write failed.
bool AppendStationRecord(const StationVisit& visit);
