#include "payload/tools/prepare/ustar_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t kBlock = 512;
constexpr std::size_t kNameField = 100;
constexpr std::size_t kRecord = 20 * kBlock; // GNU tar's default blocking
constexpr std::uint64_t kLargestSize = 077777777777;

// DIGITS octal digits and a NUL, as GNU tar fills the numeric fields.
void PutOctal(std::uint8_t* field, int digits, std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%0*llo", digits, static_cast<unsigned long long>(value));
    std::memcpy(field, text, static_cast<std::size_t>(digits) + 1);
}

void AppendHeader(const PackageMember& member, std::vector<std::uint8_t>* archive) {
    std::uint8_t header[kBlock] = {};
    // A folder's slash as GNU tar writes it, left off where the field cannot hold it: the type
    // flag alone makes it a folder.
    const bool slash = member.directory && member.name.size() < kNameField;
    const std::string name = slash ? member.name + "/" : member.name;
    std::memcpy(header, name.data(), name.size()); // at most 100 bytes, checked when read
    PutOctal(header + 100, 7, member.executable ? 0755 : 0644);
    PutOctal(header + 108, 7, 0);
    PutOctal(header + 116, 7, 0);
    PutOctal(header + 124, 11, member.directory ? 0 : member.data.size());
    PutOctal(header + 136, 11, 0);
    header[156] = member.directory ? '5' : '0';
    std::memcpy(header + 257,
                "ustar\0"
                "00",
                8);
    PutOctal(header + 329, 7, 0);
    PutOctal(header + 337, 7, 0);
    std::memset(header + 148, ' ', 8);
    unsigned sum = 0;
    for (const std::uint8_t byte : header)
        sum += byte;
    PutOctal(header + 148, 6, sum);
    header[155] = ' ';
    archive->insert(archive->end(), header, header + kBlock);
}

} // namespace

bool WriteUstar(const std::vector<PackageMember>& members, std::vector<std::uint8_t>* archive) {
    archive->clear();
    for (const PackageMember& member : members) {
        if (member.data.size() > kLargestSize)
            return false;
        AppendHeader(member, archive);
        archive->insert(archive->end(), member.data.begin(), member.data.end());
        archive->resize((archive->size() + kBlock - 1) / kBlock * kBlock, 0);
    }
    // Two zero blocks end the archive; zeros fill the last record.
    archive->resize((archive->size() + 2 * kBlock + kRecord - 1) / kRecord * kRecord, 0);
    return true;
}
