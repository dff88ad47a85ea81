// Build tool: generate_standin_images OUTDIR
// Writes the stand-in firmware images that a build embeds when no vendor payload is
// given: flash_image.bin (an FPGA configuration bitstream look-alike) and
// mcu_image.bin (an 8051 image with the checksum slots and version of the real one).
// The output is the same on every run and every machine.
#include "payload/tools/whole_file.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kFlashImageSize = 802570;
constexpr std::size_t kMcuImageSize = 0xFBFC;
constexpr std::uint32_t kMcuWordSum = 0x4F0D8A61; // what the real image sums to
constexpr std::size_t kMcuCodeEnd = 0xC000;       // code, then FF fill

struct Rng {
    std::uint64_t state;
    std::uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<std::uint32_t>(state >> 16);
    }
    std::uint32_t Below(std::uint32_t n) { return Next() % n; }
};

void PutWord(std::vector<std::uint8_t>& out, std::uint32_t w) {
    out.push_back(static_cast<std::uint8_t>(w >> 24));
    out.push_back(static_cast<std::uint8_t>(w >> 16));
    out.push_back(static_cast<std::uint8_t>(w >> 8));
    out.push_back(static_cast<std::uint8_t>(w));
}

// Dummy words, the sync word, a command preamble, then configuration frames of 101
// words: mostly zero with sparse routing bits, some dense block-RAM-like frames, and
// frames that repeat an earlier one, as real bitstreams do.
std::vector<std::uint8_t> FlashImage() {
    std::vector<std::uint8_t> out(16, 0xFF);
    PutWord(out, 0xAA995566);
    const std::uint32_t preamble[] = {0x20000000, 0x30008001, 0x00000007, 0x20000000,
                                      0x30018001, 0x03651093, 0x30008001, 0x00000009,
                                      0x30002001, 0x00000000, 0x30008001, 0x00000001};
    for (std::uint32_t w : preamble)
        PutWord(out, w);
    PutWord(out, 0x30004000);
    PutWord(out, 0x50000000 | static_cast<std::uint32_t>((kFlashImageSize - 80) / 4));

    Rng rng{0x5A17C0DE2026ull};
    std::vector<std::uint32_t> frame(101);
    std::vector<std::vector<std::uint32_t>> recent;
    while (out.size() + 4 * frame.size() <= kFlashImageSize - 32) {
        const std::uint32_t kind = rng.Below(100);
        if (kind < 10 && !recent.empty()) {
            frame = recent[rng.Below(static_cast<std::uint32_t>(recent.size()))];
        } else if (kind < 24) {
            for (auto& w : frame)
                w = rng.Next();
        } else {
            for (auto& w : frame) {
                w = 0;
                if (rng.Below(100) < 30)
                    w = 1u << rng.Below(32) | (rng.Below(3) == 0 ? 1u << rng.Below(32) : 0u);
            }
        }
        for (std::uint32_t w : frame)
            PutWord(out, w);
        recent.push_back(frame);
        if (recent.size() > 16)
            recent.erase(recent.begin());
    }
    const std::uint32_t trailer[] = {0x30008001, 0x0000000D, 0x20000000, 0x20000000};
    for (std::uint32_t w : trailer)
        PutWord(out, w);
    out.resize(kFlashImageSize, 0x00);
    return out;
}

std::uint32_t WordSum(const std::vector<std::uint8_t>& image) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < image.size(); i += 2)
        sum += static_cast<std::uint32_t>(image[i] << 8 | image[i + 1]);
    return sum;
}

// 8051-looking code up to kMcuCodeEnd, FF fill after it, the reserved slots, and a
// constant table at the end of the code tuned so the word sum is exactly kMcuWordSum.
std::vector<std::uint8_t> McuImage() {
    std::vector<std::uint8_t> image(kMcuImageSize, 0xFF);
    Rng rng{0x8051F7FEull};
    const std::uint8_t opcodes[] = {0x74, 0xF5, 0xE5, 0x90, 0xE0, 0xF0, 0x12, 0x22, 0x80,
                                    0x60, 0x70, 0xA3, 0x75, 0x85, 0xC2, 0xD2, 0x30, 0x20};
    image[0] = 0x02; // LJMP 0x000E
    image[1] = 0x00;
    image[2] = 0x0E;
    for (std::size_t i = 3; i < kMcuCodeEnd; ++i)
        image[i] = (rng.Below(3) == 0) ? static_cast<std::uint8_t>(rng.Next())
                                       : opcodes[rng.Below(sizeof opcodes)];
    image[0xF7FC] = 0x00; // checksum slot for bootloader version 2
    image[0xF7FD] = 0x00;
    image[0xF7FE] = 0x07; // image version
    image[0xF7FF] = 0x87;
    image[kMcuImageSize - 512] = 0xFF; // checksum slot for bootloader versions 0 and 1
    image[kMcuImageSize - 511] = 0xFF;

    // Walk the table words from kMcuCodeEnd down, moving each as far as needed.
    std::int64_t missing = static_cast<std::int64_t>(kMcuWordSum) - WordSum(image);
    for (std::size_t at = kMcuCodeEnd - 2; missing != 0 && at > 0x100; at -= 2) {
        const std::int64_t word = image[at] << 8 | image[at + 1];
        std::int64_t target = word + missing;
        if (target < 0)
            target = 0;
        if (target > 0xFFFF)
            target = 0xFFFF;
        missing -= target - word;
        image[at] = static_cast<std::uint8_t>(target >> 8);
        image[at + 1] = static_cast<std::uint8_t>(target);
    }
    if (missing != 0 || WordSum(image) != kMcuWordSum) {
        std::fprintf(stderr, "generate_standin_images: cannot reach the word sum\n");
        return {};
    }
    return image;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: generate_standin_images OUTDIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const std::vector<std::uint8_t> mcu = McuImage();
    if (mcu.empty())
        return 1;
    if (!WriteWholeFile((dir + "/flash_image.bin").c_str(), FlashImage()) ||
        !WriteWholeFile((dir + "/mcu_image.bin").c_str(), mcu)) {
        std::fprintf(stderr, "generate_standin_images: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
