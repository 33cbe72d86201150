#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "image/Image.h"

// For any bytes the loader stays inside its buffer (the sanitizers or valgrind
// watch) and keeps no buffer when it refuses them, a positive size and alpha
// 255 throughout when it loads them. image_tests replays fuzz/ with this.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Image image;
    std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    const bool loaded = image.loadBitmap(file);
    std::fclose(file);
    const std::size_t count = loaded ? std::size_t(image.width) * std::size_t(image.height) : 0;
    bool kept =
        loaded == (image.pixels != nullptr) && (!loaded || (image.width > 0 && image.height > 0));
    for (std::size_t i = 0; i < count; ++i) {
        kept = kept && image.pixels[4 * i + 3] == 255;
    }
    if (!kept) {
        std::abort();
    }
    if (count <= 1 << 16) {
        image.drift();
    }
    return 0;
}
