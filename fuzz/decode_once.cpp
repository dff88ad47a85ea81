// fuzz_device's Bz2DecodeToHeap, put in the decoder's place by the linker (--wrap). The
// blobs the update decodes never change, so each is decoded once per process and every
// call gets a heap copy of exactly its length, which the update releases as its own.
// The decoder itself is fuzz_bz2's to fuzz.
#include "payload/bz2_decoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

// The decoder under the linker's name for it.
extern "C" std::uint8_t* __real__Z15Bz2DecodeToHeapPKhjPj(const std::uint8_t* source,
                                                          std::uint32_t source_length,
                                                          std::uint32_t* length);

namespace {

struct DecodedBlob {
    const std::uint8_t* source;
    std::uint32_t source_length;
    bool decodable;
    std::vector<std::uint8_t> bytes;
};

std::vector<DecodedBlob> decoded_blobs;

const DecodedBlob& DecodedOnce(const std::uint8_t* source, std::uint32_t source_length) {
    for (const DecodedBlob& blob : decoded_blobs)
        if (blob.source == source && blob.source_length == source_length)
            return blob;
    DecodedBlob blob{source, source_length, false, {}};
    std::uint32_t length = 0;
    std::uint8_t* bytes = __real__Z15Bz2DecodeToHeapPKhjPj(source, source_length, &length);
    if (bytes != nullptr) {
        blob.decodable = true;
        blob.bytes.assign(bytes, bytes + length);
        std::free(bytes);
    }
    decoded_blobs.push_back(blob);
    return decoded_blobs.back();
}

} // namespace

extern "C" std::uint8_t* __wrap__Z15Bz2DecodeToHeapPKhjPj(const std::uint8_t* source,
                                                          std::uint32_t source_length,
                                                          std::uint32_t* length) {
    const DecodedBlob& blob = DecodedOnce(source, source_length);
    if (!blob.decodable)
        return nullptr;
    auto* copy =
        static_cast<std::uint8_t*>(std::malloc(std::max<std::size_t>(blob.bytes.size(), 1)));
    if (copy == nullptr)
        return nullptr;
    std::memcpy(copy, blob.bytes.data(), blob.bytes.size());
    *length = static_cast<std::uint32_t>(blob.bytes.size());
    return copy;
}
