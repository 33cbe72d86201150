#include <cstddef>
#include <cstdint>

#include "fuzz/bitmap_check.h"

// Allocations are capped at 64 MiB (libFuzzer itself needs 20) so that a header claiming two
// gigabytes costs nothing: the allocation fails, which exercises the loader's refusal of a buffer
// it cannot get instead of filling memory for minutes.
extern "C" const char* __asan_default_options() {
    return "max_allocation_size_mb=64:allocator_may_return_null=1";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkBitmapLoad(data, size);
    return 0;
}
