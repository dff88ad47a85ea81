// bench_bz2: decoding throughput of the program's bzip2 decoder against libbz2's
// BZ2_bzBuffToBuffDecompress, on the embedded flash image and on a generated corpus of
// about 30 MB (text-like, binary-like and run-heavy parts). The two decoders take turns;
// figures are processor time, best of several rounds, since the machine is shared.
#include "payload/bz2_decoder.h"
#include "payload/device_record.h"

#include <bzlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Random {
    std::uint64_t state;
    std::uint32_t Next() {
        state = state * 6364136223846793005u + 1442695040888963407u;
        return static_cast<std::uint32_t>(state >> 33);
    }
    std::uint32_t Below(std::uint32_t n) { return Next() % n; }
    // Small values far more often than large ones.
    std::uint32_t Skewed(std::uint32_t n) { return Below(Below(Below(n) + 1) + 1); }
};

void AppendText(Bytes& out, std::size_t size, Random& random) {
    static const char* const kSyllables[] = {"ka", "ro", "mi",  "te", "sun", "bel", "or", "in",
                                             "da", "lo", "ver", "an", "is",  "tor", "ge", "ul"};
    std::vector<std::string> words;
    for (int i = 0; i < 3000; ++i) {
        std::string word;
        for (std::uint32_t s = random.Below(4) + 1; s > 0; --s)
            word += kSyllables[random.Below(16)];
        words.push_back(word);
    }
    const std::size_t end = out.size() + size;
    std::uint32_t in_line = 0;
    while (out.size() < end) {
        const std::string& word = words[random.Skewed(3000)];
        out.insert(out.end(), word.begin(), word.end());
        const std::uint32_t mark = random.Below(16);
        out.push_back(mark == 0 ? '.' : mark == 1 ? ',' : ' ');
        if (++in_line > 12 + random.Below(6)) {
            out.push_back('\n');
            in_line = 0;
        }
    }
    out.resize(end);
}

void AppendBinary(Bytes& out, std::size_t size, Random& random) {
    // Code-like records: skewed opcodes and operand forms, small immediates, addresses from
    // a set of globals, constants now and then, and repeats of earlier stretches (idioms).
    static const std::uint8_t kOpcodes[] = {0x8B, 0x89, 0xE8, 0x83, 0x74, 0x75, 0xFF, 0x50,
                                            0x55, 0xC3, 0x0F, 0x48, 0x85, 0xEB, 0x31, 0x8D};
    std::vector<std::uint32_t> globals(500);
    for (std::uint32_t& address : globals)
        address = 0x404000 + random.Below(0x8000) * 4;
    const std::size_t start = out.size();
    const std::size_t end = start + size;
    auto put32 = [&](std::uint32_t value) {
        for (int b = 0; b < 4; ++b)
            out.push_back(static_cast<std::uint8_t>(value >> (8 * b)));
    };
    while (out.size() < end) {
        const std::uint32_t kind = random.Below(100);
        if (kind < 8 && out.size() - start > 4096) {
            const std::size_t length = 16 + random.Below(48);
            const std::size_t from =
                start + random.Below(static_cast<std::uint32_t>(out.size() - start - length));
            for (std::size_t i = 0; i < length; ++i)
                out.push_back(out[from + i]);
        } else if (kind < 9) {
            put32(random.Next());
        } else {
            out.push_back(kOpcodes[random.Skewed(16)]);
            out.push_back(
                static_cast<std::uint8_t>(0xC0 + 8 * random.Skewed(8) + random.Skewed(8)));
            if (kind < 40)
                put32(globals[random.Skewed(500)]);
            else if (kind < 60)
                out.push_back(static_cast<std::uint8_t>(random.Skewed(128)));
        }
    }
    out.resize(end);
}

void AppendRuns(Bytes& out, std::size_t size, Random& random) {
    // Runs of every length, as in bitmaps, padding and erased flash.
    const std::size_t end = out.size() + size;
    while (out.size() < end) {
        const std::uint32_t length =
            random.Below(4) == 0 ? random.Below(4000) + 1 : random.Below(12) + 1;
        const std::uint8_t byte =
            random.Below(3) == 0 ? 0xFF : static_cast<std::uint8_t>(random.Skewed(256));
        out.insert(out.end(), length, byte);
    }
    out.resize(end);
}

Bytes GenerateCorpus() {
    Random random{20240611};
    Bytes corpus;
    for (int part = 0; part < 6; ++part) {
        AppendText(corpus, 2000000, random);
        AppendBinary(corpus, 2000000, random);
        AppendRuns(corpus, 1000000, random);
    }
    return corpus;
}

Bytes Compress(const Bytes& data) {
    unsigned int length = static_cast<unsigned int>(data.size() + data.size() / 100 + 600);
    Bytes out(length);
    if (BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &length,
                                 reinterpret_cast<char*>(const_cast<std::uint8_t*>(data.data())),
                                 static_cast<unsigned int>(data.size()), 9, 0, 0) != BZ_OK) {
        std::fprintf(stderr, "bench_bz2: libbz2 could not compress the corpus\n");
        std::exit(1);
    }
    out.resize(length);
    return out;
}

double Seconds(std::clock_t since) {
    return static_cast<double>(std::clock() - since) / CLOCKS_PER_SEC;
}

double TimeOurs(const Bytes& stream, Bytes& output) {
    const std::clock_t start = std::clock();
    const std::int32_t result =
        Bz2DecodeToBuffer(stream.data(), static_cast<std::uint32_t>(stream.size()), output.data(),
                          static_cast<std::uint32_t>(output.size()));
    const double seconds = Seconds(start);
    if (result != 0) {
        std::fprintf(stderr, "bench_bz2: our decoder returned %d\n", static_cast<int>(result));
        std::exit(1);
    }
    return seconds;
}

double TimeLibbz2(const Bytes& stream, Bytes& output) {
    unsigned int length = static_cast<unsigned int>(output.size());
    const std::clock_t start = std::clock();
    const int result = BZ2_bzBuffToBuffDecompress(
        reinterpret_cast<char*>(output.data()), &length,
        reinterpret_cast<char*>(const_cast<std::uint8_t*>(stream.data())),
        static_cast<unsigned int>(stream.size()), 0, 0);
    const double seconds = Seconds(start);
    if (result != BZ_OK) {
        std::fprintf(stderr, "bench_bz2: libbz2 returned %d\n", result);
        std::exit(1);
    }
    return seconds;
}

// One stream to decode and the bytes it must give.
struct Sample {
    Bytes stream;
    Bytes expected;
};

// Level-9 streams of pieces of `data`, each two full blocks of data without long runs, so
// that one decoding is short enough to find a quiet moment on a shared machine.
std::vector<Sample> Pieces(const Bytes& data) {
    constexpr std::size_t kPiece = 2 * 899981; // the input of two level-9 blocks
    std::vector<Sample> pieces;
    for (std::size_t at = 0; at < data.size(); at += kPiece) {
        const auto begin = data.begin() + static_cast<std::ptrdiff_t>(at);
        const Bytes piece(begin,
                          begin + static_cast<std::ptrdiff_t>(std::min(kPiece, data.size() - at)));
        pieces.push_back({Compress(piece), piece});
    }
    return pieces;
}

// Prints the figures of one input and returns the ratio of our throughput to libbz2's. Each
// sample's time is the best of `rounds`, the two decoders taking turns.
double Measure(const char* name, const std::vector<Sample>& samples, int rounds) {
    double ours = 0;
    double theirs = 0;
    std::size_t stored = 0;
    std::size_t decoded = 0;
    for (const Sample& sample : samples) {
        // Our fixed-buffer driver needs a step of room beyond the rounded-up output.
        Bytes output((sample.expected.size() + 4095) / 4096 * 4096 + 4096);
        TimeOurs(sample.stream, output);
        if (!std::equal(sample.expected.begin(), sample.expected.end(), output.begin())) {
            std::fprintf(stderr, "bench_bz2: our decoder got %s wrong\n", name);
            std::exit(1);
        }
        double best_ours = 1e9;
        double best_theirs = 1e9;
        for (int round = 0; round < rounds; ++round) {
            best_ours = std::min(best_ours, TimeOurs(sample.stream, output));
            best_theirs = std::min(best_theirs, TimeLibbz2(sample.stream, output));
        }
        ours += best_ours;
        theirs += best_theirs;
        stored += sample.stream.size();
        decoded += sample.expected.size();
    }
    const double megabytes = static_cast<double>(decoded) / 1e6;
    const double ratio = theirs / ours;
    std::printf("%s: %zu -> %zu bytes in %zu stream(s); ours %.1f MB/s, libbz2 %.1f MB/s, "
                "ratio %.2f\n",
                name, stored, decoded, samples.size(), megabytes / ours, megabytes / theirs, ratio);
    return ratio;
}

} // namespace

int main() {
    const ImageEntry& flash = device_record.images[0];
    Sample flash_image{Bytes(flash.data, flash.data + flash.length), Bytes(1 << 21)};
    unsigned int flash_length = static_cast<unsigned int>(flash_image.expected.size());
    if (BZ2_bzBuffToBuffDecompress(
            reinterpret_cast<char*>(flash_image.expected.data()), &flash_length,
            reinterpret_cast<char*>(flash_image.stream.data()), flash.length, 0, 0) != BZ_OK) {
        std::fprintf(stderr, "bench_bz2: libbz2 cannot decode the flash image\n");
        return 1;
    }
    flash_image.expected.resize(flash_length);
    const std::vector<Sample> corpus = Pieces(GenerateCorpus());

    const double flash_ratio = Measure("flash image", {flash_image}, 40);
    const double corpus_ratio = Measure("corpus", corpus, 9);
    std::printf("bench_bz2: flash_image_ratio=%.2f corpus_ratio=%.2f\n", flash_ratio, corpus_ratio);
    return 0;
}
