// The decoder on the bzip2 test streams carried in tests/data and on the embedded flash image.
#include "payload/bz2_decoder.h"
#include "payload/device_record.h"
#include "payload/tests/bz2_test_support.h"

#include "flash_image_bz2.h"

#include <gtest/gtest.h>

#include <string>

namespace {

Bytes Vector(const std::string& name) {
    return ReadFile(std::string(ZC_BZ2_TESTDATA) + "/" + name);
}

TEST(Bz2Vectors, SamplesDecodeToTheirReferences) {
    for (const std::string name : {"sample1", "sample2", "sample3"}) {
        const Bytes stream = Vector(name + ".bz2");
        const Bytes reference = Vector(name + ".ref");
        ASSERT_FALSE(reference.empty()) << name;
        EXPECT_EQ(DecodeToHeap(stream), reference) << name;

        Bytes destination;
        EXPECT_EQ(DecodeToBuffer(stream, RoomFor(reference.size()), &destination), 0) << name;
        destination.resize(reference.size());
        EXPECT_TRUE(destination == reference) << name;

        const ReadOutcome stepped = ReadAll(stream, {1, 17, 4096, 5, 65536});
        EXPECT_EQ(stepped.final_status, Bz2EndOfStream) << name;
        EXPECT_TRUE(stepped.crc_matches) << name;
        EXPECT_TRUE(stepped.output == reference) << name;
    }
}

TEST(Bz2Vectors, RandomisedBlocksAreRefused) {
    const Bytes stream = Vector("randomized-blocks.bz2");
    ASSERT_FALSE(stream.empty());
    Bz2Decoder* decoder = nullptr;
    ASSERT_EQ(Bz2Begin(&decoder, stream.data(), static_cast<std::uint32_t>(stream.size())), Bz2Ok);
    Bytes buffer(4096);
    EXPECT_EQ(Bz2Read(decoder, buffer.data(), 4096), Bz2Randomised);
    EXPECT_EQ(Bz2Read(decoder, buffer.data(), 4096), Bz2Randomised);
    Bz2Release(decoder);

    Bytes destination;
    EXPECT_EQ(DecodeToBuffer(stream, 200000, &destination), Bz2DecodeFailed);
    EXPECT_FALSE(DecodeToHeap(stream).has_value());
}

TEST(Bz2Vectors, FixedBufferNeedsAStepBeyondTheRoundedOutput) {
    // 120 244 bytes: 29 full steps and one of 1 460, then the step that meets the end.
    const Bytes stream = Vector("sample3.bz2");
    const Bytes reference = Vector("sample3.ref");
    ASSERT_EQ(reference.size(), 120244u);
    Bytes destination;
    EXPECT_EQ(DecodeToBuffer(stream, 30 * 4096, &destination), Bz2BufferTooSmall);
    destination.resize(reference.size());
    EXPECT_TRUE(destination == reference) << "what was placed stays placed";
    EXPECT_EQ(DecodeToBuffer(stream, 31 * 4096 - 1, &destination), Bz2BufferTooSmall);
    EXPECT_EQ(DecodeToBuffer(stream, 31 * 4096, &destination), 0);
}

TEST(Bz2Vectors, TruncatedSamplesEndTheInput) {
    const Bytes small = Vector("sample3.bz2");
    const Bytes large = Vector("sample1.bz2");
    std::vector<std::pair<const Bytes*, std::size_t>> cuts;
    for (std::size_t length = 0; length < small.size(); ++length)
        cuts.emplace_back(&small, length);
    for (std::size_t length = 4; length < large.size(); length += 509)
        cuts.emplace_back(&large, length);
    for (std::size_t back = 1; back <= 12; ++back)
        cuts.emplace_back(&large, large.size() - back);
    for (const auto& [stream, length] : cuts) {
        const Bytes cut(stream->begin(), stream->begin() + static_cast<std::ptrdiff_t>(length));
        const ReadOutcome outcome = ReadAll(cut);
        EXPECT_EQ(length < 4 ? outcome.begin_status : outcome.final_status, Bz2InputEnded)
            << stream->size() << " cut to " << length;
        EXPECT_FALSE(DecodeToHeap(cut).has_value()) << stream->size() << " cut to " << length;
    }
}

TEST(Bz2Vectors, SecondStreamBehindTheFirstIsIgnored) {
    Bytes both = Vector("sample3.bz2");
    const Bytes second = Vector("sample1.bz2");
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(DecodeToHeap(both), Vector("sample3.ref"));
}

TEST(Bz2Vectors, CorruptBlockCrcFailsBothDrivers) {
    Bytes stream = Vector("sample3.bz2");
    stream[10] ^= 0x01; // the first block's CRC follows the 4-byte header and 6-byte marker
    const ReadOutcome outcome = ReadAll(stream);
    EXPECT_EQ(outcome.final_status, Bz2EndOfStream);
    EXPECT_FALSE(outcome.crc_matches);
    Bytes destination;
    EXPECT_EQ(DecodeToBuffer(stream, 200000, &destination), Bz2CrcMismatch);
    EXPECT_FALSE(DecodeToHeap(stream).has_value());
}

TEST(Bz2Vectors, EmbeddedFlashImageDecodesToItsSize) {
    const ImageEntry& flash = device_record.images[0];
    std::uint32_t length = flash.length; // callers pass the slot holding the stored length
    std::uint8_t* decoded = Bz2DecodeToHeap(flash.data, flash.length, &length);
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(length, flash_image_bz2_decoded_size);
    std::free(decoded);
}

} // namespace
