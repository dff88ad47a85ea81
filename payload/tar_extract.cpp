#include "payload/tar_extract.h"

#include "payload/file_interface.h"
#include "payload/windows_names.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t kBlock = 512;
constexpr std::size_t kNameSize = 100; // the name field starts the header
constexpr std::size_t kSizeOffset = 124;
constexpr std::size_t kSizeSize = 12;
constexpr std::size_t kTypeFlagOffset = 156;
constexpr std::size_t kMagicOffset = 257;
constexpr char kMagic[] = "ustar";
constexpr std::size_t kMagicSize = sizeof kMagic - 1;
constexpr std::size_t kMaxPath = 767;

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

bool IsSpace(std::uint8_t c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// As "%o" reads it, but never past the field: white space, then octal digits. No digit gives 0.
// Twelve octal digits at most, so the value always fits.
std::uint64_t ParseSize(const std::uint8_t* header) {
    const std::uint8_t* field = header + kSizeOffset;
    std::size_t i = 0;
    while (i < kSizeSize && IsSpace(field[i]))
        ++i;
    std::uint64_t size = 0;
    for (; i < kSizeSize && field[i] >= '0' && field[i] <= '7'; ++i)
        size = size * 8 + (field[i] - '0');
    return size;
}

// A block after a member is a header only when its magic lies wholly below the length.
bool CarriesMagic(const std::uint8_t* archive, std::size_t length, std::size_t offset) {
    return length - offset >= kMagicOffset + kMagicSize &&
           std::memcmp(archive + offset + kMagicOffset, kMagic, kMagicSize) == 0;
}

// Names that would reach outside the destination (absolute, with a drive, or with a ".."
// component between separators of either kind) or open a device instead of a file.
bool NameUnsafe(const char* name, std::size_t length) {
    if (IsSeparator(name[0]))
        return true;
    const bool letter = (name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z');
    if (length >= 2 && letter && name[1] == ':')
        return true;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= length; ++i) {
        if (i == length || IsSeparator(name[i])) {
            if (i - start == 2 && name[start] == '.' && name[start + 1] == '.')
                return true;
            if (IsWindowsDeviceName(name + start, i - start))
                return true;
            start = i + 1;
        }
    }
    return false;
}

std::int32_t WriteMember(const char* path, const std::uint8_t* data, std::uint64_t size) {
    const int file = FileOpenForWriting(path);
    if (file < 0)
        return TarOpenFailed;
    // One block per write, straight from the archive.
    for (std::uint64_t done = 0; done < size; done += kBlock) {
        const unsigned count = static_cast<unsigned>(std::min<std::uint64_t>(size - done, kBlock));
        if (FileWrite(file, data + done, count) != static_cast<int>(count)) {
            FileClose(file);
            return TarWriteFailed;
        }
    }
    return FileClose(file) == 0 ? TarOk : TarCloseFailed;
}

// Extracts the entry whose header block lies at HEADER, with AFTER_HEADER bytes of the archive
// following that block; *BLOCKS_USED receives the blocks taken by header and data.
std::int32_t ExtractEntry(const std::uint8_t* header, std::size_t after_header, const char* prefix,
                          std::size_t prefix_length, std::size_t* blocks_used) {
    *blocks_used = 1;
    const char* name = reinterpret_cast<const char*>(header);
    if (name[0] == '\0')
        return TarEmptyName;
    const void* end = std::memchr(name, '\0', kNameSize);
    const std::size_t name_length =
        end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - name) : kNameSize;
    if (NameUnsafe(name, name_length))
        return TarUnsafeName;
    if (prefix_length + name_length > kMaxPath)
        return TarPathTooLong;

    char path[kMaxPath + 1] = {};
    std::memcpy(path, prefix, prefix_length);
    std::memcpy(path + prefix_length, name, name_length);

    if (header[kTypeFlagOffset] == '5') {
        if (!DirectoryExists(path) && DirectoryCreate(path) != 0)
            return TarDirectoryFailed;
        return TarOk;
    }
    // Everything else, links and long-name records included, is a regular file.
    const std::uint64_t size = ParseSize(header);
    if (size > after_header)
        return TarTruncated;
    *blocks_used += static_cast<std::size_t>((size + kBlock - 1) / kBlock);
    return WriteMember(path, header + kBlock, size);
}

} // namespace

std::int32_t TarExtract(const std::uint8_t* archive, std::size_t length, const char* destination) {
    const char* prefix = destination != nullptr ? destination : "";
    const std::size_t prefix_length = std::strlen(prefix);
    if (destination != nullptr && (prefix_length == 0 || !IsSeparator(prefix[prefix_length - 1])))
        return TarBadDestination;

    if (length == 0)
        return TarOk; // no block lies below the length
    // The first block is a header whatever it carries; later ones only with the magic.
    std::size_t offset = 0;
    bool header_expected = true;
    for (;;) {
        std::size_t blocks = 1;
        if (header_expected) {
            if (length - offset < kBlock)
                return TarTruncated;
            const std::int32_t result = ExtractEntry(archive + offset, length - offset - kBlock,
                                                     prefix, prefix_length, &blocks);
            if (result != TarOk)
                return result;
        }
        const std::size_t step = blocks * kBlock;
        if (step >= length - offset)
            return TarOk;
        offset += step;
        header_expected = CarriesMagic(archive, length, offset);
    }
}
