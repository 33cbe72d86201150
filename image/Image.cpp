#include "image/Image.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <utility>

#include "image/Noise.h"

namespace {

// File header (14 bytes) plus the classic 40-byte info header.
constexpr std::size_t kHeaderSize = 54;

// glTexImage2D takes its sizes as ints, so no picture may need more bytes than that.
constexpr std::int64_t kMaxPixelBytes = 0x7FFFFFFF;

std::uint32_t readLe32(const unsigned char* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

std::int16_t readLe16(const unsigned char* p) {
    return static_cast<std::int16_t>(p[0] | p[1] << 8);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Turns one row as the file stores it (blue, green, red triples) into RGBA in
// place. It walks backwards because each RGBA pixel is wider than the triple it
// comes from: writing pixel i never touches a triple that is still to be read.
void expandRowInPlace(unsigned char* row, std::int32_t width) {
    for (std::int32_t i = width - 1; i >= 0; --i) {
        const unsigned char* in = row + 3 * std::size_t(i);
        const unsigned char blue = in[0], green = in[1], red = in[2];
        unsigned char* out = row + 4 * std::size_t(i);
        out[0] = red;
        out[1] = green;
        out[2] = blue;
        out[3] = 255;
    }
}

// The word whose bytes in memory are r, g, b, a, whatever the machine's byte order.
std::uint32_t bytesAsWord(unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
    const unsigned char bytes[4] = {r, g, b, a};
    std::uint32_t word;
    std::memcpy(&word, bytes, 4);
    return word;
}

}  // namespace

Image::Image(std::string fileName) {
    if (!loadBitmap(std::move(fileName))) {
        std::cout << "Error loading texture!\n";
    }
}

Image::~Image() {
    std::free(pixels);
}

bool Image::loadBitmap(std::string fileName) {
    const File file(std::fopen(fileName.c_str(), "rb"));
    return loadBitmap(file.get());
}

bool Image::loadBitmap(std::FILE* file) {
    std::free(pixels);
    pixels = nullptr;

    if (!file) {
        return false;
    }
    unsigned char header[kHeaderSize];
    if (std::fread(header, 1, kHeaderSize, file) != kHeaderSize) {
        return false;
    }
    if (readLe16(header) != 0x4D42) {  // "BM"
        return false;
    }
    width = static_cast<std::int32_t>(readLe32(header + 18));
    height = static_cast<std::int32_t>(readLe32(header + 22));
    if (readLe16(header + 28) != 24) {
        return false;
    }

    // A negative height marks a file stored top row first; the buffer is bottom
    // row first either way, and height becomes the plain row count.
    const bool topDown = height < 0;
    const std::int64_t rows = topDown ? -std::int64_t{height} : std::int64_t{height};
    const std::int64_t rowBytes = std::int64_t{width} * 4;
    // Divided rather than multiplied: width * rows * 4 can exceed even 64 bits.
    if (width <= 0 || rows == 0 || rows > kMaxPixelBytes / rowBytes) {
        return false;
    }
    height = static_cast<std::int32_t>(rows);
    pixels = static_cast<unsigned char*>(std::malloc(std::size_t(rowBytes * rows)));
    if (!pixels) {
        return false;
    }

    // Editors that write a larger info header put the rows where the header's
    // data offset says; older files leave that field small or zero. A file on
    // disk reads as ended past its last byte; an in-memory one refuses the seek
    // instead, which means the same: none of the rows is there.
    const std::uint32_t dataOffset = readLe32(header + 10);
    if (dataOffset > kHeaderSize && std::fseek(file, long(dataOffset), SEEK_SET) != 0) {
        std::memset(pixels, 0xFF, std::size_t(rowBytes * rows));
        return true;
    }

    // Each row is padded to a multiple of 4 bytes; 3 * width + width % 4 is that
    // size, and it always fits in the row's 4 * width bytes of buffer.
    const std::size_t fileRowBytes = 3 * std::size_t(width) + std::size_t(width % 4);
    for (std::int64_t row = 0; row < rows; ++row) {
        const std::int64_t bufferRow = topDown ? rows - 1 - row : row;
        unsigned char* dest = pixels + bufferRow * rowBytes;
        const std::size_t got = std::fread(dest, 1, fileRowBytes, file);
        // A file that ends early still loads; what it lacks reads as 0xFF.
        std::memset(dest + got, 0xFF, fileRowBytes - got);
        expandRowInPlace(dest, width);
        if (got < fileRowBytes) {
            // Every row still to come is all 0xFF bytes, alpha included, so they
            // are filled in one go: the ones below this row in a top-down file,
            // the ones above it otherwise.
            unsigned char* rest = topDown ? pixels : dest + rowBytes;
            std::memset(rest, 0xFF, std::size_t((rows - 1 - row) * rowBytes));
            break;
        }
    }
    return true;
}

void Image::drift() {
    drift(Noise::shared());
}

// Each pixel takes red and blue from two pixels on and green from the next
// one; going forwards those sources are still unchanged, so one pass in place
// does it. The pixel is handled as one 32-bit word, so the shift is two masks
// and an or; words are read and written through memcpy, which compiles to
// plain loads and stores. The work runs inside the noise generator's loop, so
// that the compiler makes one vector loop of both, four pixels at a time.
void Image::drift(Noise& noise) {
    const std::int64_t count = std::int64_t{width} * height - 8;
    if (!pixels || count <= 0) {
        return;
    }
    const std::uint32_t redBlue = bytesAsWord(0xFF, 0, 0xFF, 0);
    const std::uint32_t green = bytesAsWord(0, 0xFF, 0, 0);
    const std::uint32_t alpha = bytesAsWord(0, 0, 0, 0xFF);
    const std::uint32_t alphaOne = bytesAsWord(0, 0, 0, 1);
    unsigned char* const start = pixels;
    noise.forEach(std::size_t(count), [=](std::size_t k, std::uint32_t value) {
        unsigned char* p = start + 4 * k;
        std::uint32_t next, afterNext;
        std::memcpy(&next, p + 4, 4);
        std::memcpy(&afterNext, p + 8, 4);
        // The alpha is value % 255. With value = 255 q + rest, value + q = 256 q
        // + rest has that same lowest byte, and costs an add where the
        // remainder costs a multiply and a subtraction; the mask keeps only
        // that byte, moved into the alpha place.
        const std::uint32_t newAlpha = (value + value / 255) * alphaOne & alpha;
        const std::uint32_t pixel = (afterNext & redBlue) | (next & green) | newAlpha;
        std::memcpy(p, &pixel, 4);
    });
}
