#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "image/Image.h"
#include "tests/bitmap_file.h"

// For any bytes the loader stays inside its buffer (the sanitizers or valgrind
// watch), keeps no buffer if it refuses them, and else a positive size, whose
// every alpha, read only then, is 255. image_tests replays fuzz/ with this.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Image image;
    std::FILE* file = openBytes(data, size);
    const bool loaded = image.loadBitmap(file);
    std::fclose(file);
    bool kept =
        loaded == (image.pixels != nullptr) && (!loaded || (image.width > 0 && image.height > 0));
    const std::size_t count = kept && loaded ? std::size_t(image.width) * image.height : 0;
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
