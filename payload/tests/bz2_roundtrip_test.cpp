// Round trips: data compressed by the reference library in the test, decoded by ours.
#ifndef _WIN32
#include "payload/bz2_decoder.h"
#include "payload/device_record.h"
#include "payload/tests/bz2_test_support.h"

#include <bzlib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

Bytes Compress(const Bytes& data, int level) {
    unsigned int length = static_cast<unsigned int>(data.size() + data.size() / 100 + 600);
    Bytes out(length);
    char none = 0; // the library wants a source pointer even for no bytes
    char* source =
        data.empty() ? &none : reinterpret_cast<char*>(const_cast<std::uint8_t*>(data.data()));
    const int status =
        BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &length, source,
                                 static_cast<unsigned int>(data.size()), level, 0, 0);
    EXPECT_EQ(status, BZ_OK);
    out.resize(length);
    return out;
}

struct Random {
    std::uint32_t state;
    std::uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

// Words, random bytes and runs of many lengths, in turns.
Bytes MixedData(std::size_t size, std::uint32_t seed) {
    static const char* const kWords[] = {"decoder ", "block ",  "the ",   "stream ", "of ",
                                         "flash\n",  "module ", "image ", "a ",      "bits "};
    Random random{seed};
    Bytes out;
    while (out.size() < size) {
        switch (random.Next() % 3) {
        case 0:
            for (int i = 0; i < 200; ++i) {
                const std::string word = kWords[random.Next() % 10];
                out.insert(out.end(), word.begin(), word.end());
            }
            break;
        case 1:
            for (int i = 0; i < 700; ++i)
                out.push_back(static_cast<std::uint8_t>(random.Next() >> 24));
            break;
        default:
            for (int i = 0; i < 20; ++i)
                out.insert(out.end(), random.Next() % 300 + 1,
                           static_cast<std::uint8_t>(random.Next()));
        }
    }
    out.resize(size);
    return out;
}

void ExpectRoundTrip(const Bytes& data, int level, const std::string& what) {
    const Bytes stream = Compress(data, level);
    EXPECT_EQ(DecodeToHeap(stream), data) << what << " at level " << level;
}

TEST(Bz2RoundTrip, EveryLevelWithSeveralBlocks) {
    const Bytes data = MixedData(350000, 7);
    for (int level = 1; level <= 9; ++level) {
        const Bytes stream = Compress(data, level);
        EXPECT_EQ(DecodeToHeap(stream), data) << "level " << level;
        Bytes destination;
        EXPECT_EQ(DecodeToBuffer(stream, RoomFor(data.size()), &destination), 0)
            << "level " << level;
        destination.resize(data.size());
        EXPECT_TRUE(destination == data) << "level " << level;
    }
}

TEST(Bz2RoundTrip, ManyBlocksReadInOddSteps) {
    const Bytes data = MixedData(1200000, 11);
    const ReadOutcome outcome = ReadAll(Compress(data, 1), {4093, 1, 65536, 250});
    EXPECT_EQ(outcome.final_status, Bz2EndOfStream);
    EXPECT_TRUE(outcome.crc_matches);
    EXPECT_TRUE(outcome.output == data);
}

TEST(Bz2RoundTrip, EmptyAndOneByte) {
    const Bytes empty_stream = Compress({}, 9);
    EXPECT_EQ(DecodeToHeap(empty_stream), Bytes{});
    Bytes destination;
    EXPECT_EQ(DecodeToBuffer(empty_stream, 65536, &destination), Bz2DecodeFailed)
        << "the fixed-buffer driver counts an empty output as a failure";
    for (const int byte : {0, int{'x'}, 255})
        ExpectRoundTrip({static_cast<std::uint8_t>(byte)}, 9, "one byte");
}

TEST(Bz2RoundTrip, RunsOfEveryInterestingLength) {
    Bytes all;
    for (const std::size_t length :
         {1, 2, 3, 4, 5, 6, 255, 258, 259, 260, 261, 263, 264, 518, 519, 1000, 5000}) {
        Bytes run(length, 'a');
        ExpectRoundTrip(run, 9, "run alone of " + std::to_string(length));
        Bytes framed = {'x'};
        framed.insert(framed.end(), run.begin(), run.end());
        framed.push_back('y');
        ExpectRoundTrip(framed, 9, "run of " + std::to_string(length));
        all.insert(all.end(), framed.begin(), framed.end());
        all.insert(all.end(), run.begin(), run.end());
    }
    ExpectRoundTrip(all, 9, "runs back to back");
}

TEST(Bz2RoundTrip, RunsAcrossBlockBoundaries) {
    // Runs only, so most level-1 block boundaries fall inside a run.
    Random random{3};
    Bytes data;
    while (data.size() < 500000)
        data.insert(data.end(), random.Next() % 600 + 4,
                    static_cast<std::uint8_t>(random.Next() % 3));
    ExpectRoundTrip(data, 1, "runs");
}

TEST(Bz2RoundTrip, AllByteValues) {
    Random random{5};
    Bytes data;
    for (int i = 0; i < 400; ++i)
        for (int b = 0; b < 256; ++b)
            data.push_back(static_cast<std::uint8_t>((b * 167 + random.Next() % 2) & 0xFF));
    ExpectRoundTrip(data, 9, "all byte values");
}

TEST(Bz2RoundTrip, FixedBufferRoomAroundWholeSteps) {
    for (const std::size_t size : {4095u, 4096u, 4097u, 8192u, 65536u}) {
        const Bytes data = MixedData(size, static_cast<std::uint32_t>(size));
        const Bytes stream = Compress(data, 9);
        Bytes destination;
        EXPECT_EQ(DecodeToBuffer(stream, RoomFor(size), &destination), 0) << size;
        EXPECT_TRUE(std::equal(data.begin(), data.end(), destination.begin())) << size;
        EXPECT_EQ(DecodeToBuffer(stream, RoomFor(size) - 1, &destination), Bz2BufferTooSmall)
            << size;
    }
}

TEST(Bz2RoundTrip, EmbeddedFlashImageMatchesTheReferenceLibrary) {
    const ImageEntry& flash = device_record.images[0];
    Bytes expected(1 << 21);
    unsigned int expected_length = static_cast<unsigned int>(expected.size());
    ASSERT_EQ(
        BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(expected.data()), &expected_length,
                                   reinterpret_cast<char*>(const_cast<std::uint8_t*>(flash.data)),
                                   flash.length, 0, 0),
        BZ_OK);
    expected.resize(expected_length);
    EXPECT_EQ(DecodeToHeap(Bytes(flash.data, flash.data + flash.length)), expected);
}

} // namespace
#endif
