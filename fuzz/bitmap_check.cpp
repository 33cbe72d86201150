#include "fuzz/bitmap_check.h"

#include <cstdio>
#include <cstdlib>

#include "image/Image.h"

#ifdef ORVALIS_SANITIZE
#include <sanitizer/allocator_interface.h>
#endif

namespace {

// Drifting is linear in the picture's size; larger pictures would only slow
// the fuzzer down without reaching new code.
constexpr std::int64_t kMaxDriftedPixels = 1 << 16;

[[noreturn]] void broken(const char* promise, const Image& image) {
    std::fprintf(stderr, "bitmap loader broke a promise: %s (width %d, height %d)\n", promise,
                 image.width, image.height);
    std::abort();
}

}  // namespace

void checkBitmapLoad(const std::uint8_t* data, std::size_t size) {
    Image image;
    // fmemopen only reads through the pointer in "rb" mode.
    std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (!file) {
        broken("fmemopen failed", image);
    }
    const bool loaded = image.loadBitmap(file);
    std::fclose(file);
    if (!loaded) {
        if (image.pixels) {
            broken("a refused file left a buffer", image);
        }
        return;
    }
    if (!image.pixels || image.width <= 0 || image.height <= 0) {
        broken("a loaded picture has no buffer or no size", image);
    }
    const std::size_t bytes = std::size_t(image.width) * std::size_t(image.height) * 4;
#ifdef ORVALIS_SANITIZE
    if (__sanitizer_get_allocated_size(image.pixels) != bytes) {
        broken("the buffer is not width * height * 4 bytes", image);
    }
#endif
    // Reading up to the last byte lets AddressSanitizer or valgrind catch a
    // buffer that is too small even when the allocation size cannot be asked.
    for (std::size_t i = 3; i < bytes; i += 4) {
        if (image.pixels[i] != 255) {
            broken("an alpha byte is not 255", image);
        }
    }
    if (std::int64_t{image.width} * image.height <= kMaxDriftedPixels) {
        image.drift();
    }
}
