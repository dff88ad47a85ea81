// tarx ARCHIVE DEST: unpacks a tar file below DEST with the program's own extractor.
#include "payload/tar_extract.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tarx ARCHIVE DEST\n");
        return 1;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "tarx: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::vector<std::uint8_t> archive{std::istreambuf_iterator<char>(in),
                                            std::istreambuf_iterator<char>()};
    const std::int32_t result = TarExtract(archive.data(), archive.size(), argv[2]);
    std::printf("tarx: result %d\n", static_cast<int>(result));
    return result == TarOk ? 0 : 1;
}
