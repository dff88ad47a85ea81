// Feeds arbitrary bytes to the bzip2 decoder as one memory block. Every input is read with
// Bz2Read in small steps and, where that accepts the stream and the reference library does
// too, must give the same bytes as the reference. One input in 16, chosen by a hash of its
// bytes, also goes through the heap driver and the fixed-buffer driver, which must agree
// with the stepped reading.
#include "payload/bz2_decoder.h"

#include <bzlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string_view>
#include <vector>

namespace {

// Each driver decodes the whole input again, tripling the cost of an input. Chosen by hash,
// a given input always takes the same path, so findings reproduce.
constexpr std::size_t kDriverCheckEvery = 16;

// Kept across inputs, so that a large output is not allocated and zeroed for every input.
std::vector<std::uint8_t> stepped_output;
std::vector<char> reference_output;

void Require(bool condition) {
    if (!condition)
        std::abort();
}

bool SameBytes(const void* a, const void* b, std::size_t n) {
    return n == 0 || std::memcmp(a, b, n) == 0;
}

struct Stepped {
    std::uint32_t length = 0; // bytes placed at the start of stepped_output
    bool succeeded = false;
};

// Small and odd steps at first, where resuming is most exercised, then large ones.
Stepped ReadInSteps(const std::uint8_t* data, std::uint32_t size) {
    static const std::int32_t kSteps[] = {1, 2, 3, 5, 7, 11, 64, 255, 4096};
    Stepped result;
    Bz2Decoder* decoder = nullptr;
    std::int32_t status = Bz2Begin(&decoder, data, size);
    std::size_t length = 0;
    for (std::size_t i = 0; status == Bz2Ok; ++i) {
        const std::int32_t n = length < 65536 ? kSteps[i % 9] : 65536;
        const std::size_t room = length + static_cast<std::size_t>(n);
        if (stepped_output.size() < room)
            stepped_output.resize(2 * room);
        std::uint8_t* const step = stepped_output.data() + length;
        const std::int32_t read = Bz2Read(decoder, step, n);
        if (read < 0) {
            status = read;
            Require(Bz2Read(decoder, step, n) == read); // statuses are sticky
            break;
        }
        Require(read <= n);
        length += static_cast<std::size_t>(read);
    }
    result.length = static_cast<std::uint32_t>(length);
    result.succeeded = status == Bz2EndOfStream && decoder->stored_crc == decoder->stream_crc;
    Bz2Release(decoder);
    return result;
}

// The heap and fixed-buffer drivers against the stepped reading.
void CheckDrivers(const std::uint8_t* data, std::uint32_t length, const Stepped& stepped) {
    std::uint32_t heap_length = 0;
    std::uint8_t* heap = Bz2DecodeToHeap(data, length, &heap_length);
    Require(stepped.succeeded == (heap != nullptr));
    if (heap != nullptr)
        Require(stepped.length == heap_length &&
                SameBytes(stepped_output.data(), heap, heap_length));

    // Room for the output and the step that meets the end; a failed stream gets 64 KiB,
    // enough to meet most failures and cheap for those that decode much before failing.
    // Sized exactly, so that a write past the room is a sanitizer report.
    const std::uint32_t capacity =
        heap != nullptr ? (heap_length + 4095) / 4096 * 4096 + 4096 : 1u << 16;
    std::vector<std::uint8_t> fixed(capacity);
    const std::int32_t result = Bz2DecodeToBuffer(data, length, fixed.data(), capacity);
    if (heap != nullptr && heap_length > 0)
        Require(result == 0 && SameBytes(fixed.data(), heap, heap_length));
    else
        Require(result != 0); // an empty output counts as a failure there
    std::free(heap);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint32_t length = static_cast<std::uint32_t>(size);
    const Stepped stepped = ReadInSteps(data, length);

    if (stepped.succeeded) {
        // One byte more than ours, so longer output from the reference shows as well.
        if (reference_output.size() < stepped.length + 1u)
            reference_output.resize(stepped.length + 1u);
        unsigned int reference_length = stepped.length + 1;
        const int status = BZ2_bzBuffToBuffDecompress(
            reference_output.data(), &reference_length,
            const_cast<char*>(reinterpret_cast<const char*>(data)), length, 0, 0);
        Require(status != BZ_OUTBUFF_FULL);
        if (status == BZ_OK)
            Require(reference_length == stepped.length &&
                    SameBytes(reference_output.data(), stepped_output.data(), stepped.length));
    }

    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (std::hash<std::string_view>{}(bytes) % kDriverCheckEvery == 0)
        CheckDrivers(data, length, stepped);
    return 0;
}
