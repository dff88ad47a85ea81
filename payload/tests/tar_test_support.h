// Archives built byte by byte and scratch directories for the extractor's tests.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tar_test {

namespace fs = std::filesystem;

// A ustar header block: name, size (eleven octal digits and NUL), type flag, magic. The checksum
// is filled in although the extractor ignores it.
inline std::vector<std::uint8_t> Header(std::string_view name, char type, std::uint64_t size) {
    std::vector<std::uint8_t> block(512, 0);
    std::copy(name.begin(), name.begin() + std::min<std::size_t>(name.size(), 100), block.begin());
    std::snprintf(reinterpret_cast<char*>(&block[100]), 8, "%07o", 0644);
    std::snprintf(reinterpret_cast<char*>(&block[124]), 12, "%011llo",
                  static_cast<unsigned long long>(size));
    block[156] = static_cast<std::uint8_t>(type);
    std::copy_n("ustar\0"
                "00",
                8, block.begin() + 257);
    std::fill_n(block.begin() + 148, 8, ' ');
    unsigned sum = 0;
    for (std::uint8_t b : block)
        sum += b;
    std::snprintf(reinterpret_cast<char*>(&block[148]), 8, "%06o", sum);
    return block;
}

inline void Append(std::vector<std::uint8_t>& archive, const std::vector<std::uint8_t>& bytes) {
    archive.insert(archive.end(), bytes.begin(), bytes.end());
}

// Header, data and zero padding to the next block.
inline void AppendEntry(std::vector<std::uint8_t>& archive, std::string_view name, char type,
                        std::string_view data = {}) {
    Append(archive, Header(name, type, data.size()));
    archive.insert(archive.end(), data.begin(), data.end());
    archive.resize((archive.size() + 511) / 512 * 512, 0);
}

inline void AppendFile(std::vector<std::uint8_t>& archive, std::string_view name,
                       std::string_view data = {}) {
    AppendEntry(archive, name, '0', data);
}

inline void AppendDirectory(std::vector<std::uint8_t>& archive, std::string_view name) {
    AppendEntry(archive, name, '5');
}

inline void AppendEnd(std::vector<std::uint8_t>& archive) {
    archive.resize(archive.size() + 1024);
}

// Bytes of every value, newlines and Ctrl-Z included, so text-mode translation shows.
inline std::string Pattern(std::size_t size, unsigned seed = 1) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 131 + seed * 7 + i / 251) & 0xFF);
    return data;
}

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const fs::path& path, std::string_view data) {
    std::ofstream out(path, std::ios::binary);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

// A fresh directory below the system's temporary directory, removed with its contents.
struct ScratchDirectory {
    fs::path path;

    ScratchDirectory() {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        for (int attempt = 0; path.empty(); ++attempt) {
            const fs::path candidate =
                fs::temp_directory_path() /
                ("zc_tar_" + std::to_string(stamp) + "_" + std::to_string(attempt));
            if (fs::create_directory(candidate))
                path = candidate;
        }
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    // The directory as an extraction prefix, ending in the platform's separator.
    std::string Prefix() const { return (path / "").string(); }
};

// Every directory (with an empty value) and file (with its bytes) below ROOT, by relative path.
inline std::vector<std::pair<std::string, std::string>> Tree(const fs::path& root) {
    std::vector<std::pair<std::string, std::string>> entries;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).generic_string();
        if (entry.is_directory())
            entries.emplace_back(relative + "/", "");
        else
            entries.emplace_back(relative, ReadFile(entry.path()));
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

} // namespace tar_test
