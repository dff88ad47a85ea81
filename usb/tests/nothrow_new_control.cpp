#include "usb/tests/nothrow_new_control.h"

#include <cstdlib>
#include <cstring>
#include <new>

int nothrow_new_fail_at = 0;
std::vector<std::uint8_t> nothrow_new_stale_bytes;

namespace {

// malloc, like the runtime's own operator new, so the ordinary delete releases the block.
void* Allocate(std::size_t size) {
    if (nothrow_new_fail_at > 0 && --nothrow_new_fail_at == 0)
        return nullptr;
    void* block = std::malloc(size != 0 ? size : 1);
    if (block != nullptr && !nothrow_new_stale_bytes.empty())
        std::memcpy(block, nothrow_new_stale_bytes.data(),
                    size < nothrow_new_stale_bytes.size() ? size : nothrow_new_stale_bytes.size());
    return block;
}

} // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
