// The C runtime's file interface on descriptors, the same calls on Linux and Windows. Paths
// are UTF-8; on Windows they reach the system's wide-character calls, so any name works
// whatever the ANSI code page.
#pragma once
#include <cstdint>

// Opens PATH for writing only, in binary mode, creating it with permission bits 0666 or
// emptying an existing file; returns the descriptor, or -1.
int FileOpenForWriting(const char* path);

// Writes COUNT bytes (below 2 GiB); returns the number of bytes written, or -1.
int FileWrite(int descriptor, const void* data, unsigned count);

// Returns 0, or -1.
int FileClose(int descriptor);

// Creates one directory level (parents must exist); returns 0, or -1.
int DirectoryCreate(const char* path);

// Whether PATH names an existing directory; a trailing separator is allowed.
bool DirectoryExists(const char* path);

// The system's code for the last call above that failed on this thread (Windows: its error
// code, Linux: errno), for the support log.
std::uint32_t FileLastError();

#ifdef _WIN32
// UTF-8 to UTF-16 and back, for the wide-character calls. Each fills a buffer of CAPACITY
// characters, terminator included, and returns false (leaving it empty) for a text that is
// not valid or does not fit.
bool Utf8ToWide(const char* text, wchar_t* wide, int capacity);
bool WideToUtf8(const wchar_t* text, char* utf8, int capacity);
#endif
