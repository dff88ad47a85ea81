// tarx ARCHIVE DEST: unpacks a tar file below DEST with the program's own extractor.
#include "payload/tar_extract.h"
#include "payload/tools/whole_file.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tarx ARCHIVE DEST\n");
        return 1;
    }
    std::vector<std::uint8_t> archive;
    if (!ReadWholeFile(argv[1], &archive)) {
        std::fprintf(stderr, "tarx: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::int32_t result = TarExtract(archive.data(), archive.size(), argv[2]);
    std::printf("tarx: result %d\n", static_cast<int>(result));
    return result == TarOk ? 0 : 1;
}
