#include "payload/tools/prepare/member_names.h"

#include "payload/windows_names.h"

#include <cstddef>
#include <cstring>

namespace {

constexpr std::size_t kNameField = 100;

bool IsUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80             ? 1
                                   : (lead & 0xE0) == 0xC0 ? 2
                                   : (lead & 0xF0) == 0xE0 ? 3
                                   : (lead & 0xF8) == 0xF0 ? 4
                                                           : 0;
        if (length == 0 || (length == 2 && lead < 0xC2) || i + length > text.size())
            return false;
        unsigned code = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = code << 6 | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF do not turn into UTF-16.
        if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) ||
            (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
            return false;
        i += length;
    }
    return true;
}

const char* ComponentProblem(const std::string& component) {
    if (component == "..")
        return "a \"..\" component, which would reach outside the package's folder";
    for (const char c : component) {
        if (static_cast<unsigned char>(c) < 0x20 || std::strchr("\\:*?\"<>|", c) != nullptr)
            return "a character Windows does not allow in a file name";
    }
    if (component.back() == '.' || component.back() == ' ')
        return "a component ending in a dot or a blank, which Windows drops";
    if (IsWindowsDeviceName(component.data(), component.size()))
        return "a component Windows takes for a device (CON, PRN, AUX, NUL, COM1-9, LPT1-9)";
    return nullptr;
}

} // namespace

const char* ResolveMemberName(const std::string& stored, std::string* resolved) {
    resolved->clear();
    if (!stored.empty() && stored[0] == '/')
        return "an absolute name";
    if (!IsUtf8(stored))
        return "a name that is not UTF-8";
    std::size_t start = 0;
    while (start <= stored.size()) {
        std::size_t end = stored.find('/', start);
        if (end == std::string::npos)
            end = stored.size();
        const std::string component = stored.substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == ".")
            continue;
        if (const char* problem = ComponentProblem(component))
            return problem;
        if (!resolved->empty())
            *resolved += '/';
        *resolved += component;
    }
    if (resolved->size() > kNameField)
        return "a name longer than the 100 bytes of the tar name field";
    return nullptr;
}
