// The one way the program shows a message box: printf-style text under the
// application caption, owned by no window, so the dialog stays usable meanwhile.
#pragma once
#include <windows.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>

inline constexpr std::uint32_t kErrorBox = MB_ICONERROR;      // 16
inline constexpr std::uint32_t kInfoBox = MB_ICONINFORMATION; // 64
inline constexpr std::size_t kAlertTextSize = 4096;
inline constexpr const char* kAppCaption = "NORV zandacore Programmer";

// Formats into text, cutting at kAlertTextSize - 1 characters; always terminated.
void FormatAlertText(char (&text)[kAlertTextSize], const char* format, std::va_list args);

// Shows the box and returns its result. Safe on any thread.
std::int32_t AlertUser(std::uint32_t type, const char* format, ...)
    __attribute__((format(gnu_printf, 2, 3)));
