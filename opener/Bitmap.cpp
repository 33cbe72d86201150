#include "image/Format.h"
#include "image/Square.h"
#include "opener/Decode.h"

std::vector<std::uint8_t> bitmapFor(const std::vector<std::uint8_t>& bytes,
                                    const std::string& name) {
    if (isPlainBitmap(bytes.data(), bytes.size())) {
        return withRowsAfterHeader(bytes);
    }
    const Picture picture = decode(bytes, name);
    return squareBitmap(picture.pixels.data(), picture.width, picture.height);
}
