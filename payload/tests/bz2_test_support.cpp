#include "payload/tests/bz2_test_support.h"

#include "payload/bz2_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numeric>

namespace {

struct BitWriter {
    Bytes bytes;
    std::uint32_t used_bits = 0; // in the last byte

    void Put(std::uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            if (used_bits == 0)
                bytes.push_back(0);
            if ((value >> i & 1) != 0)
                bytes.back() = static_cast<std::uint8_t>(bytes.back() | 0x80 >> used_bits);
            used_bits = (used_bits + 1) % 8;
        }
    }
    void PutUnary(int ones) {
        for (int i = 0; i < ones; ++i)
            Put(1, 1);
        Put(0, 1);
    }
};

// Sorted rotations; the last column and the rank of the unrotated block.
void Transform(const Bytes& block, Bytes* last_column, std::uint32_t* origin) {
    const std::size_t n = block.size();
    std::vector<std::size_t> rotations(n);
    std::iota(rotations.begin(), rotations.end(), 0);
    std::stable_sort(rotations.begin(), rotations.end(), [&](std::size_t a, std::size_t b) {
        for (std::size_t k = 0; k < n; ++k) {
            const std::uint8_t x = block[(a + k) % n];
            const std::uint8_t y = block[(b + k) % n];
            if (x != y)
                return x < y;
        }
        return false;
    });
    last_column->clear();
    for (std::size_t i = 0; i < n; ++i) {
        last_column->push_back(block[(rotations[i] + n - 1) % n]);
        if (rotations[i] == 0)
            *origin = static_cast<std::uint32_t>(i);
    }
}

// Move-to-front positions, zero runs in bijective base 2 (symbol 0 = 1, symbol 1 = 2), the
// end symbol last.
std::vector<int> CodeSymbols(const Bytes& last_column, const Bytes& used) {
    Bytes list = used;
    std::vector<int> symbols;
    int zeros = 0;
    auto flush_zeros = [&] {
        for (; zeros > 0; zeros = (zeros - 1) / 2)
            symbols.push_back((zeros & 1) != 0 ? 0 : 1);
        zeros = 0;
    };
    for (const std::uint8_t byte : last_column) {
        const auto at = std::find(list.begin(), list.end(), byte);
        const int position = static_cast<int>(at - list.begin());
        std::rotate(list.begin(), at, at + 1);
        if (position == 0) {
            ++zeros;
            continue;
        }
        flush_zeros();
        symbols.push_back(position + 1);
    }
    flush_zeros();
    symbols.push_back(static_cast<int>(used.size()) + 1);
    return symbols;
}

void PutByteMap(BitWriter& out, const Bytes& used) {
    std::uint32_t ranges = 0;
    for (const std::uint8_t b : used)
        ranges |= 0x8000u >> (b / 16);
    out.Put(ranges, 16);
    for (int r = 0; r < 16; ++r) {
        if ((ranges & (0x8000u >> r)) == 0)
            continue;
        std::uint32_t present = 0;
        for (const std::uint8_t b : used)
            if (b / 16 == r)
                present |= 0x8000u >> (b % 16);
        out.Put(present, 16);
    }
}

void PutBlock(BitWriter& out, const TestBlock& block, std::uint32_t crc) {
    Bytes used = block.used_bytes;
    std::vector<int> symbols = block.symbols;
    std::uint32_t origin = 0;
    if (symbols.empty()) {
        used = block.content;
        std::sort(used.begin(), used.end());
        used.erase(std::unique(used.begin(), used.end()), used.end());
        Bytes last_column;
        Transform(block.content, &last_column, &origin);
        symbols = CodeSymbols(last_column, used);
    }
    origin = block.origin.value_or(origin);

    const int groups = std::clamp(block.group_count, 2, 6);
    const int symbol_count = static_cast<int>(used.size()) + 2;
    int base_length = 1;
    while ((1 << base_length) < symbol_count)
        ++base_length;
    // Group g codes every symbol with base_length + g bits, so a wrong group misreads.
    const int spans = (static_cast<int>(symbols.size()) + 49) / 50;

    out.Put(0x314159, 24);
    out.Put(block.marker_low, 24);
    out.Put(crc, 32);
    out.Put(block.randomised ? 1 : 0, 1);
    out.Put(origin, 24);
    PutByteMap(out, used);
    out.Put(static_cast<std::uint32_t>(block.group_count), 3);
    const int selector_count = block.selector_count.value_or(spans);
    out.Put(static_cast<std::uint32_t>(selector_count), 15);
    std::vector<int> list(static_cast<std::size_t>(groups));
    std::iota(list.begin(), list.end(), 0);
    for (int s = 0; s < selector_count; ++s) {
        const auto at = std::find(list.begin(), list.end(), s < spans ? s % groups : list[0]);
        const int position = static_cast<int>(at - list.begin());
        std::rotate(list.begin(), at, at + 1);
        out.PutUnary(s == 0 ? block.first_selector_position.value_or(position) : position);
    }
    for (int g = 0; g < groups; ++g) {
        out.Put(static_cast<std::uint32_t>(base_length + g), 5);
        for (int s = 0; s < symbol_count; ++s) {
            if (g == 0 && s == 0)
                for (const int step : block.first_length_walk)
                    out.Put(step > 0 ? 2 : 3, 2);
            out.Put(0, 1);
        }
    }
    for (std::size_t i = 0; i < symbols.size(); ++i) {
        const int group = static_cast<int>(i / 50) % groups;
        out.Put(static_cast<std::uint32_t>(symbols[i]), base_length + group);
    }
}

} // namespace

Bytes ExpandRuns(const Bytes& content) {
    Bytes out;
    int equal = 0;
    for (std::size_t i = 0; i < content.size(); ++i) {
        if (equal == 4) {
            out.insert(out.end(), content[i], out.back());
            equal = 0;
            continue;
        }
        equal = equal > 0 && content[i] == out.back() ? equal + 1 : 1;
        out.push_back(content[i]);
    }
    return out;
}

std::uint32_t BzipCrc(const Bytes& bytes) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (const std::uint8_t b : bytes) {
        crc ^= static_cast<std::uint32_t>(b) << 24;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 0x80000000u) != 0 ? crc << 1 ^ 0x04C11DB7u : crc << 1;
    }
    return ~crc;
}

Bytes BuildStream(const TestStream& stream) {
    BitWriter out;
    for (const char c : std::string("BZh"))
        out.Put(static_cast<std::uint8_t>(c), 8);
    out.Put(static_cast<std::uint8_t>(stream.level), 8);
    std::uint32_t combined = 0;
    for (const TestBlock& block : stream.blocks) {
        const std::uint32_t crc =
            block.crc.value_or(block.symbols.empty() ? BzipCrc(ExpandRuns(block.content)) : 0);
        combined = (combined << 1 | combined >> 31) ^ crc;
        PutBlock(out, block, crc);
    }
    out.Put(0x177245, 24);
    out.Put(0x385090, 24);
    out.Put(stream.stream_crc.value_or(combined), 32);
    return out.bytes;
}

Bytes ToBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

ReadOutcome ReadAll(const Bytes& stream, const std::vector<std::int32_t>& steps) {
    ReadOutcome outcome;
    Bz2Decoder* decoder = nullptr;
    outcome.begin_status =
        Bz2Begin(&decoder, stream.data(), static_cast<std::uint32_t>(stream.size()));
    bool ended = false; // a short read must be the one that met the end
    for (std::size_t i = 0; outcome.begin_status == Bz2Ok; ++i) {
        const std::int32_t n = steps[i % steps.size()];
        Bytes buffer(static_cast<std::size_t>(n));
        const std::int32_t read = Bz2Read(decoder, buffer.data(), n);
        if (read < 0) {
            outcome.final_status = read;
            break;
        }
        EXPECT_FALSE(ended) << "a read after a short one placed bytes";
        ended = read < n;
        outcome.output.insert(outcome.output.end(), buffer.begin(), buffer.begin() + read);
    }
    outcome.crc_matches = decoder != nullptr && decoder->stored_crc == decoder->stream_crc;
    Bz2Release(decoder);
    return outcome;
}

std::optional<Bytes> DecodeToHeap(const Bytes& stream) {
    std::uint32_t length = 0xDEADBEEF;
    std::uint8_t* decoded =
        Bz2DecodeToHeap(stream.data(), static_cast<std::uint32_t>(stream.size()), &length);
    if (decoded == nullptr) {
        EXPECT_EQ(length, 0xDEADBEEFu) << "the length is written only on success";
        return std::nullopt;
    }
    Bytes out(decoded, decoded + length);
    std::free(decoded);
    return out;
}

std::int32_t DecodeToBuffer(const Bytes& stream, std::uint32_t capacity, Bytes* destination) {
    destination->assign(capacity, 0);
    return Bz2DecodeToBuffer(stream.data(), static_cast<std::uint32_t>(stream.size()),
                             destination->data(), capacity);
}

std::uint32_t RoomFor(std::size_t size) {
    return static_cast<std::uint32_t>((size + 4095) / 4096 * 4096 + 4096);
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
