// Decoder behaviour on crafted streams: header limits, run coding, statuses, drivers.
#include "payload/bz2_decoder.h"
#include "payload/tests/bz2_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

TestStream OneBlock(const TestBlock& block, char level = '9') {
    return {level, {block}, {}};
}

TestBlock Content(const std::string& text) {
    TestBlock block;
    block.content = ToBytes(text);
    return block;
}

// Status of the first block as Bz2Read reports it.
std::int32_t FirstBlockStatus(const TestBlock& block, char level = '9') {
    return ReadAll(BuildStream(OneBlock(block, level))).final_status;
}

// Bytes of a small alphabet in no order, so the coded block holds many symbols.
Bytes Noise(int length, int alphabet, std::uint32_t seed) {
    Bytes out;
    for (int i = 0; i < length; ++i) {
        seed = seed * 1103515245u + 12345u;
        out.push_back(
            static_cast<std::uint8_t>('!' + (seed >> 16) % static_cast<unsigned>(alphabet)));
    }
    return out;
}

Bytes Repeat(const std::string& text, int times) {
    Bytes out;
    for (int i = 0; i < times; ++i)
        out.insert(out.end(), text.begin(), text.end());
    return out;
}

// A run of `length` (1 or more) in the block's run symbols, least significant digit first.
std::vector<int> RunSymbols(int length) {
    std::vector<int> symbols;
    for (; length > 0; length = (length - 1) / 2)
        symbols.push_back((length & 1) != 0 ? 0 : 1);
    return symbols;
}

TEST(Bz2Begin, TakesTheBlockSizeFromTheLevelDigit) {
    for (char level = '1'; level <= '9'; ++level) {
        const Bytes header = {'B', 'Z', 'h', static_cast<std::uint8_t>(level)};
        Bz2Decoder* decoder = nullptr;
        ASSERT_EQ(Bz2Begin(&decoder, header.data(), 4), Bz2Ok);
        EXPECT_EQ(decoder->block_capacity, 100000 * (level - '0'));
        EXPECT_NE(decoder->block_buffer, nullptr);
        Bz2Release(decoder);
    }
}

TEST(Bz2Begin, RefusesOtherSignaturesAndStaysRefused) {
    for (const char* header : {"BZh0", "BZh:", "BZhA", "BZH9", "bZh9", "BZ09"}) {
        Bz2Decoder* decoder = nullptr;
        EXPECT_EQ(Bz2Begin(&decoder, reinterpret_cast<const std::uint8_t*>(header), 4), Bz2NotBzip2)
            << header;
        ASSERT_NE(decoder, nullptr) << "the record is handed out whatever the status";
        std::uint8_t byte = 0;
        EXPECT_EQ(Bz2Read(decoder, &byte, 1), Bz2NotBzip2);
        Bz2Release(decoder);
    }
}

TEST(Bz2Begin, InputShorterThanTheSignatureEndsTheInput) {
    for (const std::string header : {"", "B", "BZh"}) {
        Bz2Decoder* decoder = nullptr;
        EXPECT_EQ(Bz2Begin(&decoder, reinterpret_cast<const std::uint8_t*>(header.data()),
                           static_cast<std::uint32_t>(header.size())),
                  Bz2InputEnded);
        Bz2Release(decoder);
    }
    std::uint32_t length = 0;
    EXPECT_EQ(Bz2DecodeToHeap(reinterpret_cast<const std::uint8_t*>("BZh"), 3, &length), nullptr);
}

TEST(Bz2ReadBits, ReadsMostSignificantBitFirstAcrossBytes) {
    Bytes input = ToBytes("BZh9");
    for (int i = 0; i < 64; ++i)
        input.push_back(static_cast<std::uint8_t>(i * 37 + 11));
    auto expected_bits = [&](std::size_t offset, std::uint32_t count) {
        std::uint32_t value = 0;
        for (std::size_t bit = offset; bit < offset + count; ++bit)
            value = value << 1 | (input[4 + bit / 8] >> (7 - bit % 8) & 1u);
        return value;
    };
    Bz2Decoder* decoder = nullptr;
    ASSERT_EQ(Bz2Begin(&decoder, input.data(), static_cast<std::uint32_t>(input.size())), Bz2Ok);
    std::size_t offset = 0;
    // Every count, and 32-bit reads from every bit phase (the holder then overflows).
    const std::vector<std::uint32_t> counts = {1,  2,  3, 5,  32, 7,  32, 1,  32, 13, 32, 24,
                                               32, 31, 4, 32, 17, 20, 9,  32, 29, 6,  32, 8};
    for (const std::uint32_t count : counts) {
        EXPECT_EQ(Bz2ReadBits(decoder, count), expected_bits(offset, count))
            << "count " << count << " at bit " << offset;
        offset += count;
    }
    Bz2Release(decoder);
}

TEST(Bz2ReadBits, ThrowsOnceTheInputIsUsedUp) {
    const Bytes input = ToBytes("BZh9\xAB");
    Bz2Decoder* decoder = nullptr;
    ASSERT_EQ(Bz2Begin(&decoder, input.data(), 5), Bz2Ok);
    EXPECT_EQ(Bz2ReadBits(decoder, 4), 0xAu);
    EXPECT_THROW(Bz2ReadBits(decoder, 5), Bz2InputEndedAbort);
    Bz2Release(decoder);
}

TEST(Bz2Runs, FourEqualBytesAreFollowedByACountOfFurtherCopies) {
    struct Case {
        std::string content;
        std::string output;
    };
    const std::vector<Case> cases = {
        {std::string("aaaa\0b", 6), "aaaab"},
        {"aaa"
         "b",
         "aaab"},
        {"aaaa\x01"
         "aaaa" +
             std::string(1, '\0'),
         std::string(9, 'a')},
        {"ab"
         "aaaa\x02"
         "c",
         "ab" + std::string(6, 'a') + "c"},
        {"aaaa\xff", std::string(259, 'a')},
        {"aaaa\xff"
         "aaaa\x01",
         std::string(264, 'a')},
    };
    for (const Case& c : cases) {
        const ReadOutcome outcome = ReadAll(BuildStream(OneBlock(Content(c.content))));
        EXPECT_EQ(outcome.final_status, Bz2EndOfStream);
        EXPECT_TRUE(outcome.crc_matches);
        EXPECT_EQ(outcome.output, ToBytes(c.output)) << "content of " << c.content.size();
    }
}

TEST(Bz2Runs, CountingStartsAfreshInEveryBlock) {
    // The second block begins and ends with 'a', so its first byte equals the one before it.
    const TestStream split = {'9',
                              {Content("aaa"), Content("aaaa\x01"
                                                       "ba")},
                              {}};
    const TestStream counted = {'9', {Content("aaaa\x02"), Content(std::string("aaaa\0", 5))}, {}};
    for (const std::vector<std::int32_t>& steps : {std::vector<std::int32_t>{4096}, {1}}) {
        EXPECT_EQ(ReadAll(BuildStream(split), steps).output, ToBytes("aaa"
                                                                     "aaaaa"
                                                                     "ba"));
        const ReadOutcome outcome = ReadAll(BuildStream(counted), steps);
        EXPECT_EQ(outcome.output, Bytes(10, 'a'));
        EXPECT_TRUE(outcome.crc_matches);
    }
}

TEST(Bz2Runs, SmallReadsResumeRunsAndBlocksWhereTheyStopped) {
    TestBlock first;
    first.content = Repeat("aaaa\xff"
                           "b"
                           "cccc\x10",
                           7);
    const TestStream stream = {'9', {first, Content("xyzzy"), Content("aaaa\x05")}, {}};
    const Bytes bytes = BuildStream(stream);
    const ReadOutcome whole = ReadAll(bytes, {1 << 20});
    ASSERT_EQ(whole.final_status, Bz2EndOfStream);
    ASSERT_TRUE(whole.crc_matches);
    ASSERT_EQ(whole.output.size(), 7u * (259 + 1 + 20) + 5 + 9);
    for (const std::vector<std::int32_t>& steps :
         {std::vector<std::int32_t>{1}, {3, 0, 7}, {258, 2}, {4096}}) {
        const ReadOutcome stepped = ReadAll(bytes, steps);
        EXPECT_EQ(stepped.output, whole.output) << "first step " << steps[0];
        EXPECT_EQ(stepped.final_status, Bz2EndOfStream);
        EXPECT_TRUE(stepped.crc_matches);
    }
}

TEST(Bz2Runs, ANegativeCountAsksForNothing) {
    const Bytes stream = BuildStream(OneBlock(Content("aaaa\x03"
                                                      "b")));
    Bz2Decoder* decoder = nullptr;
    ASSERT_EQ(Bz2Begin(&decoder, stream.data(), static_cast<std::uint32_t>(stream.size())), Bz2Ok);
    Bytes buffer(16, 0x5A);
    EXPECT_EQ(Bz2Read(decoder, buffer.data(), -1), 0);
    EXPECT_EQ(buffer, Bytes(16, 0x5A));
    EXPECT_EQ(Bz2Read(decoder, buffer.data(), 16), 8);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 8), ToBytes("aaaaaaab"));
    Bz2Release(decoder);
}

TEST(Bz2Blocks, EmptyBlockAddsNothing) {
    TestBlock empty;
    empty.used_bytes = {'q'};
    empty.symbols = {2}; // only the end symbol
    const TestStream stream = {'9', {Content("ab"), empty, Content("cd")}, {}};
    const ReadOutcome outcome = ReadAll(BuildStream(stream));
    EXPECT_EQ(outcome.final_status, Bz2EndOfStream);
    EXPECT_TRUE(outcome.crc_matches);
    EXPECT_EQ(outcome.output, ToBytes("abcd"));
}

TEST(Bz2Blocks, GroupCountsTwoToSixDecodeAndOthersAreDataErrors) {
    TestBlock block;
    block.content = Noise(600, 90, 1); // many spans of 50 symbols, so every group is used
    for (int groups = 2; groups <= 6; ++groups) {
        block.group_count = groups;
        const ReadOutcome outcome = ReadAll(BuildStream(OneBlock(block)));
        EXPECT_TRUE(outcome.crc_matches) << groups << " groups";
        EXPECT_EQ(outcome.output, block.content) << groups << " groups";
    }
    for (const int groups : {0, 1, 7}) {
        block.group_count = groups;
        EXPECT_EQ(FirstBlockStatus(block), Bz2DataError) << groups << " groups";
    }
}

TEST(Bz2Blocks, SelectorCountsAndPositions) {
    TestBlock block;
    block.content = Noise(200, 40, 2); // several spans of 50 symbols
    block.selector_count = 32767;
    EXPECT_EQ(ReadAll(BuildStream(OneBlock(block))).output, block.content);
    block.selector_count = 0;
    EXPECT_EQ(FirstBlockStatus(block), Bz2DataError);
    block.selector_count = 1; // fewer selectors than spans
    EXPECT_EQ(FirstBlockStatus(block), Bz2DataError);
    block.selector_count.reset();
    block.group_count = 3;
    block.first_selector_position = 3;
    EXPECT_EQ(FirstBlockStatus(block), Bz2DataError);
    block.group_count = 6;
    block.first_selector_position = 6;
    EXPECT_EQ(FirstBlockStatus(block), Bz2DataError);
    block.group_count = 3;
    block.first_selector_position = 2; // a valid position, but the wrong group
    const ReadOutcome misread = ReadAll(BuildStream(OneBlock(block)));
    EXPECT_FALSE(misread.final_status == Bz2EndOfStream && misread.crc_matches);
}

TEST(Bz2Blocks, CodeLengthsMustStayWithinOneToTwenty) {
    TestBlock block = Content("code lengths");
    // The block's codes are 4 bits long; walks that come back are harmless only in range.
    block.first_length_walk = std::vector<int>(16, +1);
    block.first_length_walk.insert(block.first_length_walk.end(), 16, -1);
    EXPECT_EQ(ReadAll(BuildStream(OneBlock(block))).output, block.content);
    block.first_length_walk = std::vector<int>(3, -1);
    block.first_length_walk.insert(block.first_length_walk.end(), 3, +1);
    EXPECT_EQ(ReadAll(BuildStream(OneBlock(block))).output, block.content);

    block.first_length_walk = std::vector<int>(17, +1);
    block.first_length_walk.insert(block.first_length_walk.end(), 17, -1);
    EXPECT_EQ(FirstBlockStatus(block), Bz2DataError) << "walked to 21";
    block.first_length_walk = std::vector<int>(4, -1);
    block.first_length_walk.insert(block.first_length_walk.end(), 4, +1);
    EXPECT_EQ(FirstBlockStatus(block), Bz2DataError) << "walked to 0";
}

TEST(Bz2Blocks, OriginMustLieInsideTheBlock) {
    TestBlock block = Content("origin");
    block.origin = 6;
    EXPECT_EQ(FirstBlockStatus(block), Bz2DataError);
    block.origin = 100001;
    EXPECT_EQ(FirstBlockStatus(block, '1'), Bz2DataError);
}

TEST(Bz2Blocks, RunsAndLiteralsStopAtTheBlockCapacity) {
    // Level 1: 100 000 entries. Symbols 0/1 are run digits, 2 the literal at list position
    // 1, 3 the end of the block (two bytes used).
    auto block_status = [](std::vector<int> symbols) {
        TestBlock block;
        block.used_bytes = {'a', 'b'};
        block.symbols = std::move(symbols);
        const Bytes stream = BuildStream(OneBlock(block, '1'));
        Bz2Decoder* decoder = nullptr;
        EXPECT_EQ(Bz2Begin(&decoder, stream.data(), static_cast<std::uint32_t>(stream.size())),
                  Bz2Ok);
        std::int32_t status = Bz2DecodeBlock(decoder);
        if (status == Bz2Ok)
            status = decoder->bytes_left;
        Bz2Release(decoder);
        return status;
    };
    auto with = [](std::vector<int> a, const std::vector<int>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    EXPECT_EQ(block_status(with(RunSymbols(99999), {3})), 99999);
    EXPECT_EQ(block_status(with(RunSymbols(100000), {3})), Bz2DataError);
    EXPECT_EQ(block_status(with(RunSymbols(99999), {2, 3})), 100000);
    EXPECT_EQ(block_status(with(RunSymbols(99999), {2, 2, 3})), Bz2DataError);
    // A run that outgrows the block fails before its end is seen.
    TestBlock endless;
    endless.used_bytes = {'a', 'b'};
    endless.symbols = std::vector<int>(30, 1); // too long after 16 of them
    Bytes stream = BuildStream(OneBlock(endless, '1'));
    stream.resize(stream.size() - 12); // no end of block, no end marker
    EXPECT_EQ(ReadAll(stream).final_status, Bz2DataError);
}

TEST(Bz2Blocks, RandomisedBlockIsRefused) {
    TestBlock block = Content("randomised");
    block.randomised = true;
    const Bytes stream = BuildStream(OneBlock(block));
    EXPECT_EQ(ReadAll(stream).final_status, Bz2Randomised);
    Bytes destination;
    EXPECT_EQ(DecodeToBuffer(stream, 65536, &destination), Bz2DecodeFailed);
    EXPECT_FALSE(DecodeToHeap(stream).has_value());
}

TEST(Bz2Blocks, UnknownBlockMarkerIsNotBzip2) {
    TestBlock block = Content("marker");
    block.marker_low = 0x265358;
    EXPECT_EQ(FirstBlockStatus(block), Bz2NotBzip2);
}

TEST(Bz2Stream, EndMarkerOnly) {
    const Bytes stream = BuildStream({});
    Bz2Decoder* decoder = nullptr;
    ASSERT_EQ(Bz2Begin(&decoder, stream.data(), static_cast<std::uint32_t>(stream.size())), Bz2Ok);
    std::uint8_t buffer[16];
    EXPECT_EQ(Bz2Read(decoder, buffer, 16), 0);
    EXPECT_EQ(Bz2Read(decoder, buffer, 16), Bz2EndOfStream);
    EXPECT_EQ(decoder->stored_crc, decoder->stream_crc);
    Bz2Release(decoder);

    const std::optional<Bytes> heap = DecodeToHeap(stream);
    ASSERT_TRUE(heap.has_value());
    EXPECT_TRUE(heap->empty());
    Bytes destination;
    EXPECT_EQ(DecodeToBuffer(stream, 65536, &destination), Bz2DecodeFailed);
}

TEST(Bz2Stream, CorruptBlockCrcEndsTheStreamWithAMismatch) {
    TestBlock bad = Content("first block");
    bad.crc = BzipCrc(ToBytes("first block")) ^ 0x100;
    const Bytes stream = BuildStream({'9', {bad, Content("second")}, {}});
    const ReadOutcome outcome = ReadAll(stream, {1});
    EXPECT_EQ(outcome.final_status, Bz2EndOfStream);
    EXPECT_FALSE(outcome.crc_matches);
    // Bytes handed out stay so; the call that places the last byte also ends the block.
    EXPECT_EQ(outcome.output, ToBytes("first bloc"));

    Bz2Decoder* decoder = nullptr;
    ASSERT_EQ(Bz2Begin(&decoder, stream.data(), static_cast<std::uint32_t>(stream.size())), Bz2Ok);
    std::uint8_t buffer[64];
    EXPECT_EQ(Bz2Read(decoder, buffer, 64), Bz2EndOfStream) << "the failing call counts nothing";
    EXPECT_EQ(decoder->stream_crc, decoder->stored_crc + 1);
    Bz2Release(decoder);

    Bytes destination;
    EXPECT_EQ(DecodeToBuffer(stream, 65536, &destination), Bz2CrcMismatch);
    EXPECT_FALSE(DecodeToHeap(stream).has_value());
}

TEST(Bz2Stream, CorruptStreamCrcFailsBothDrivers) {
    TestStream stream = {'9', {Content("one"), Content("two")}, {}};
    stream.stream_crc = 0x12345678;
    const Bytes bytes = BuildStream(stream);
    const ReadOutcome outcome = ReadAll(bytes);
    EXPECT_EQ(outcome.output, ToBytes("onetwo"));
    EXPECT_EQ(outcome.final_status, Bz2EndOfStream);
    EXPECT_FALSE(outcome.crc_matches);
    Bytes destination;
    EXPECT_EQ(DecodeToBuffer(bytes, 65536, &destination), Bz2CrcMismatch);
    EXPECT_FALSE(DecodeToHeap(bytes).has_value());
}

TEST(Bz2Stream, NothingBehindTheEndMarkerIsRead) {
    const Bytes first = BuildStream({'9', {Content("first stream")}, {}});
    Bytes both = first;
    const Bytes second = BuildStream({'9', {Content("second stream")}, {}});
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(DecodeToHeap(both), ToBytes("first stream"));

    Bz2Decoder* decoder = nullptr;
    ASSERT_EQ(Bz2Begin(&decoder, both.data(), static_cast<std::uint32_t>(both.size())), Bz2Ok);
    Bytes buffer(64);
    EXPECT_EQ(Bz2Read(decoder, buffer.data(), 64), 12);
    EXPECT_EQ(Bz2Read(decoder, buffer.data(), 64), Bz2EndOfStream);
    EXPECT_LE(decoder->input_pos, static_cast<std::int32_t>(first.size()));
    Bz2Release(decoder);
}

TEST(Bz2Stream, CutAnywhereBeforeTheEndEndsTheInput) {
    TestBlock runs;
    runs.content = Repeat("aaaa\x30"
                          "bcd",
                          40);
    const Bytes stream = BuildStream({'9', {runs, Content("tail block")}, {}});
    ASSERT_TRUE(DecodeToHeap(stream).has_value());
    for (std::size_t length = 0; length < stream.size(); ++length) {
        const Bytes cut(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(length));
        const ReadOutcome outcome = ReadAll(cut, {100});
        const std::int32_t status = length < 4 ? outcome.begin_status : outcome.final_status;
        EXPECT_EQ(status, Bz2InputEnded) << "cut at " << length;
        EXPECT_FALSE(DecodeToHeap(cut).has_value()) << "cut at " << length;
    }
}

TEST(Bz2Stream, StatusesAreStickyAndLeaveTheOutputAlone) {
    TestBlock broken = Content("sticky");
    broken.group_count = 7;
    for (const Bytes& stream : {BuildStream(OneBlock(broken)), BuildStream({})}) {
        Bz2Decoder* decoder = nullptr;
        ASSERT_EQ(Bz2Begin(&decoder, stream.data(), static_cast<std::uint32_t>(stream.size())),
                  Bz2Ok);
        Bytes buffer(32, 0x5A);
        std::int32_t status = Bz2Read(decoder, buffer.data(), 32);
        if (status == 0)
            status = Bz2Read(decoder, buffer.data(), 32);
        ASSERT_LT(status, 0);
        for (int again = 0; again < 3; ++again)
            EXPECT_EQ(Bz2Read(decoder, buffer.data(), 32), status);
        EXPECT_EQ(buffer, Bytes(32, 0x5A));
        Bz2Release(decoder);
    }
}

TEST(Bz2DecodeToBuffer, NeedsOneStepOfRoomBeyondTheOutput) {
    // 15 runs of 259 and one of 211: exactly 4096 bytes.
    TestBlock block;
    block.content = Repeat("aaaa\xff", 15);
    const Bytes tail = {'a', 'a', 'a', 'a', 207};
    block.content.insert(block.content.end(), tail.begin(), tail.end());
    const Bytes exact = BuildStream(OneBlock(block));
    block.content.push_back('b');
    const Bytes one_more = BuildStream(OneBlock(block));

    Bytes destination;
    EXPECT_EQ(DecodeToBuffer(exact, 0, &destination), Bz2BufferTooSmall);
    EXPECT_EQ(DecodeToBuffer(exact, 8191, &destination), Bz2BufferTooSmall);
    EXPECT_EQ(Bytes(destination.begin(), destination.begin() + 4096), Bytes(4096, 'a'))
        << "all was produced before the room ran out";
    EXPECT_EQ(DecodeToBuffer(exact, 8192, &destination), 0);
    EXPECT_EQ(DecodeToBuffer(one_more, 8192, &destination), Bz2BufferTooSmall);
    EXPECT_EQ(DecodeToBuffer(one_more, 12288, &destination), 0);
    EXPECT_EQ(destination[4096], 'b');
}

TEST(Bz2DecodeToHeap, GrowsPastItsFirst64KiB) {
    TestBlock block;
    block.content = Repeat("aaaa\xff"
                           "b",
                           300);
    const std::optional<Bytes> decoded = DecodeToHeap(BuildStream(OneBlock(block)));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->size(), 300u * 260);
    EXPECT_EQ(*decoded, ExpandRuns(block.content));
}

} // namespace
