// Feeds arbitrary bytes to the bzip2 decoder as one memory block: through the heap driver,
// the fixed-buffer driver and plain Bz2Read in small steps. The three must agree, and
// where the reference library also accepts the stream it must give the same bytes.
#include "payload/bz2_decoder.h"

#include <bzlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

bool SameBytes(const void* a, const void* b, std::size_t n) {
    return n == 0 || std::memcmp(a, b, n) == 0;
}

struct Stepped {
    std::vector<std::uint8_t> output;
    bool succeeded = false;
};

// Small and odd steps at first, where resuming is most exercised, then large ones.
Stepped ReadInSteps(const std::uint8_t* data, std::uint32_t size) {
    static const std::int32_t kSteps[] = {1, 2, 3, 5, 7, 11, 64, 255, 4096};
    Stepped result;
    Bz2Decoder* decoder = nullptr;
    std::int32_t status = Bz2Begin(&decoder, data, size);
    std::uint8_t buffer[65536];
    for (std::size_t i = 0; status == Bz2Ok; ++i) {
        const std::int32_t n = result.output.size() < 65536 ? kSteps[i % 9] : 65536;
        const std::int32_t read = Bz2Read(decoder, buffer, n);
        if (read < 0) {
            status = read;
            Require(Bz2Read(decoder, buffer, n) == read); // statuses are sticky
            break;
        }
        Require(read <= n);
        result.output.insert(result.output.end(), buffer, buffer + read);
    }
    result.succeeded = status == Bz2EndOfStream && decoder->stored_crc == decoder->stream_crc;
    Bz2Release(decoder);
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint32_t length = static_cast<std::uint32_t>(size);
    std::uint32_t heap_length = 0;
    std::uint8_t* heap = Bz2DecodeToHeap(data, length, &heap_length);
    const Stepped stepped = ReadInSteps(data, length);
    Require(stepped.succeeded == (heap != nullptr));
    if (heap != nullptr)
        Require(stepped.output.size() == heap_length &&
                SameBytes(stepped.output.data(), heap, heap_length));

    // Room for the output and the step that meets the end; a failed stream gets 64 KiB,
    // enough to meet most failures and cheap for those that decode much before failing.
    const std::uint32_t capacity =
        heap != nullptr ? (heap_length + 4095) / 4096 * 4096 + 4096 : 1u << 16;
    std::vector<std::uint8_t> fixed(capacity);
    const std::int32_t result = Bz2DecodeToBuffer(data, length, fixed.data(), capacity);
    if (heap != nullptr && heap_length > 0)
        Require(result == 0 && SameBytes(fixed.data(), heap, heap_length));
    else
        Require(result != 0); // an empty output counts as a failure there

    if (heap != nullptr) {
        // One byte more than ours, so longer output from the reference shows as well.
        std::vector<char> reference(heap_length + 1);
        unsigned int reference_length = heap_length + 1;
        const int status = BZ2_bzBuffToBuffDecompress(
            reference.data(), &reference_length,
            const_cast<char*>(reinterpret_cast<const char*>(data)), length, 0, 0);
        Require(status != BZ_OUTBUFF_FULL);
        if (status == BZ_OK)
            Require(reference_length == heap_length &&
                    SameBytes(reference.data(), heap, heap_length));
    }
    std::free(heap);
    return 0;
}
