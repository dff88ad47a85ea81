// bz2cat FILE: writes the decoded bytes of a bzip2 file to standard output through the
// program's own decoder, 64 KiB at a time, and checks the stream CRC at the end.
#include "payload/bz2_decoder.h"
#include "payload/tools/whole_file.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr std::int32_t kStep = 64 * 1024;

const char* StatusName(std::int32_t status) {
    switch (status) {
    case Bz2EndOfStream:
        return "Bz2EndOfStream";
    case Bz2NotBzip2:
        return "Bz2NotBzip2";
    case Bz2InputEnded:
        return "Bz2InputEnded";
    case Bz2DataError:
        return "Bz2DataError";
    case Bz2Randomised:
        return "Bz2Randomised";
    default:
        return "unknown status";
    }
}

int Fail(std::int32_t status) {
    std::fprintf(stderr, "bz2cat: %s (%d)\n", StatusName(status), static_cast<int>(status));
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bz2cat FILE\n");
        return 1;
    }
    std::vector<std::uint8_t> input;
    if (!ReadWholeFile(argv[1], &input)) {
        std::fprintf(stderr, "bz2cat: cannot read %s\n", argv[1]);
        return 1;
    }
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const std::uint32_t length =
        input.size() > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(input.size());
    Bz2Decoder* decoder = nullptr;
    std::int32_t status = Bz2Begin(&decoder, input.data(), length);
    std::vector<std::uint8_t> step(kStep);
    bool written = true;
    while (status == Bz2Ok && written) {
        const std::int32_t read = Bz2Read(decoder, step.data(), kStep);
        if (read < 0)
            status = read;
        else
            written = std::fwrite(step.data(), 1, static_cast<std::size_t>(read), stdout) ==
                      static_cast<std::size_t>(read);
    }
    const bool crc_matches = decoder != nullptr && decoder->stored_crc == decoder->stream_crc;
    Bz2Release(decoder);
    if (!written || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "bz2cat: cannot write the output\n");
        return 1;
    }
    if (status != Bz2EndOfStream)
        return Fail(status);
    if (!crc_matches) {
        std::fprintf(stderr, "bz2cat: crc mismatch\n");
        return 1;
    }
    return 0;
}
