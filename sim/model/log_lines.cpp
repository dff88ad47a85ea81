#include "sim/model/log_lines.h"
#include <cstdarg>
#include <cstdio>

std::string SimPrintf(const char* format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

std::string SimHexBytes(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (std::uint8_t byte : bytes) {
        if (!text.empty())
            text += ' ';
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

std::string SimWireLine(char direction, std::string_view serial,
                        std::span<const std::uint8_t> bytes) {
    std::string line(1, direction);
    line += ' ';
    line += serial;
    line += ' ';
    line += SimHexBytes(bytes);
    return line;
}
