// The directories the program writes to, in fixed-size buffers. A directory always ends in
// a backslash, ready for a file name.
#pragma once
#include <cstddef>

inline constexpr std::size_t kPathSize = 4096;

// The user's temporary directory: "TEMP", else "TMP", else "C:\Temp\". A value that does
// not fit with its backslash leaves PATH empty. The user controls it: only the support log
// goes there, and only after checking what it opened.
void GetTempDir(char (&path)[kPathSize]);

// The system directory as the system names it. Empty when it does not fit.
void GetSystemDir(char (&path)[kPathSize]);

// The Windows directory's "Temp\", as the system names it, where users may create folders
// but not rename or delete an administrator's: the driver package goes below it. Empty
// when it does not fit.
void GetWindowsTempDir(char (&path)[kPathSize]);

inline constexpr int EnvironmentNotSet = -1;
inline constexpr int EnvironmentTooLong = -2;

// The value of the environment variable NAME, in UTF-8, into VALUE; returns its length,
// EnvironmentNotSet, or EnvironmentTooLong (VALUE then empty). Windows: the wide-character
// environment, so a value outside the ANSI code page arrives whole; POSIX: getenv.
int LookUpEnvironment(const char* name, char (&value)[kPathSize]);

// The system directory and the Windows directory, in UTF-8 without a trailing backslash;
// return the length, or a negative value (VALUE then empty). Windows: asked of the system;
// POSIX (native tests): the "windir" variable and its "System32".
int LookUpSystemDirectory(char (&value)[kPathSize]);
int LookUpWindowsDirectory(char (&value)[kPathSize]);

// Appends TEXT when the result still fits with its terminator and returns true; otherwise
// leaves PATH as it was and returns false.
bool AppendPathText(char (&path)[kPathSize], const char* text);
