// The directories the installations write to, built from the environment in fixed-size
// buffers. A directory always ends in a backslash, ready for a file name.
#pragma once
#include <cstddef>

inline constexpr std::size_t kPathSize = 4096;

// The temporary directory: "TEMP", else "TMP", else "C:\Temp\". A value that does not fit
// with its backslash leaves PATH empty.
void GetTempDir(char (&path)[kPathSize]);

// The system directory: "windir", else "WINDIR", else "C:\Windows\", followed by
// "System32\". A value that does not fit with both leaves PATH empty.
void GetSystemDir(char (&path)[kPathSize]);

inline constexpr int EnvironmentNotSet = -1;
inline constexpr int EnvironmentTooLong = -2;

// The value of the environment variable NAME, in UTF-8, into VALUE; returns its length,
// EnvironmentNotSet, or EnvironmentTooLong (VALUE then empty). Windows: the wide-character
// environment, so a value outside the ANSI code page arrives whole; POSIX: getenv.
int LookUpEnvironment(const char* name, char (&value)[kPathSize]);

// Appends TEXT when the result still fits with its terminator and returns true; otherwise
// leaves PATH as it was and returns false.
bool AppendPathText(char (&path)[kPathSize], const char* text);
