#include "app/alert_user.h"

#include "app/shell_state.h"
#include "app/support_log.h"

#include <cstdio>

void FormatAlertText(char (&text)[kAlertTextSize], const char* format, std::va_list args) {
    // Terminated here too, so a runtime whose formatter leaves a cut text open cannot
    // hand MessageBoxA an unterminated buffer.
    std::vsnprintf(text, kAlertTextSize, format, args);
    text[kAlertTextSize - 1] = '\0';
}

std::int32_t AlertUser(std::uint32_t type, const char* format, ...) {
    char text[kAlertTextSize] = {};
    std::va_list args;
    va_start(args, format);
    FormatAlertText(text, format, args);
    va_end(args);
    LogBox(type, text);
    // Nobody is there to press OK: the text stays in the log, and the caller ends.
    if (Unattended(shell_state.run_mode))
        return IDOK;
    return MessageBoxA(nullptr, text, kAppCaption, type);
}
