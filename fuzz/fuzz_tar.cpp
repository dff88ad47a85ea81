// Extracts arbitrary bytes as an archive into a scratch directory of this process, emptied
// after every input so that each run starts from nothing; the directory goes at exit.
#include "payload/tar_extract.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {
namespace fs = std::filesystem;

const fs::path scratch = fs::temp_directory_path() / ("fuzz_tar_" + std::to_string(getpid()));
const std::string destination = (scratch / "").string();

void RemoveScratch() {
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fs::create_directories(scratch);
    std::atexit(RemoveScratch);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TarExtract(data, size, destination.c_str());
    for (const fs::directory_entry& entry : fs::directory_iterator(scratch))
        fs::remove_all(entry.path());
    return 0;
}
