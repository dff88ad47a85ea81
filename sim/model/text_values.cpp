#include "sim/model/text_values.h"

namespace {

bool ParseDigits(std::string_view text, std::uint32_t base, std::uint32_t max,
                 std::uint32_t* value) {
    if (text.empty())
        return false;
    std::uint64_t number = 0;
    for (char c : text) {
        std::uint32_t digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<std::uint32_t>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        else
            return false;
        number = number * base + digit;
        if (number > max)
            return false;
    }
    *value = static_cast<std::uint32_t>(number);
    return true;
}

bool HasHexPrefix(std::string_view text) {
    return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

} // namespace

std::string_view SimTrim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool SimParseNumber(std::string_view text, std::uint32_t max, std::uint32_t* value) {
    if (HasHexPrefix(text))
        return ParseDigits(text.substr(2), 16, max, value);
    return ParseDigits(text, 10, max, value);
}

bool SimParseHex(std::string_view text, std::uint32_t max, std::uint32_t* value) {
    return ParseDigits(HasHexPrefix(text) ? text.substr(2) : text, 16, max, value);
}
