#include "image/Image.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <utility>

#include "image/Cpu.h"
#include "image/LittleEndian.h"

namespace {

// File header (14 bytes) plus the classic 40-byte info header.
constexpr std::size_t kHeaderSize = 54;

// glTexImage2D takes its sizes as ints, so no picture may need more bytes than that.
constexpr std::int64_t kMaxPixelBytes = 0x7FFFFFFF;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Turns count blue, green, red triples into as many RGBA pixels.
void widenPlain(const unsigned char* in, unsigned char* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        out[4 * i] = in[3 * i + 2];
        out[4 * i + 1] = in[3 * i + 1];
        out[4 * i + 2] = in[3 * i];
        out[4 * i + 3] = 255;
    }
}

#ifdef ORVALIS_X86
// The compiler cannot turn widenPlain into byte shuffles with the plain SSE2
// that every x86-64 has, and byte by byte it takes six times as long as
// reading the file. With SSSE3, which nearly every x86 processor since 2006
// has and which is asked of the processor at run time, one shuffle widens
// four pixels. Each load takes 16 bytes for the 12 it uses, so the last few
// pixels, whose load would reach past the input, are left to widenPlain.
ORVALIS_TARGET("ssse3")
void widenSsse3(const unsigned char* in, unsigned char* out, std::size_t count) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
    const __m128i alpha = _mm_set1_epi32(int(0xFF000000u));
    std::size_t i = 0;
    for (; i + 6 <= count; i += 4) {
        const __m128i triples = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i),
                         _mm_or_si128(_mm_shuffle_epi8(triples, order), alpha));
    }
    widenPlain(in + 3 * i, out + 4 * i, count - i);
}
#endif

void widen(const unsigned char* in, unsigned char* out, std::size_t count) {
#ifdef ORVALIS_X86
    static const bool hasSsse3 = cpuHasSsse3();
    if (hasSsse3) {
        widenSsse3(in, out, count);
        return;
    }
#endif
    widenPlain(in, out, count);
}

// Reads the pixel rows that follow in the file into the buffer as RGBA, row
// after row in file order, and returns once all are in or the file has ended;
// from there on every byte reads as 0xFF, alpha included. The file is read a
// chunk of many rows at a time and widened from there: one fread per chunk
// reads straight from the system, where a fread per row would copy each row
// through stdio's small buffer. A row or pixel cut by the chunk's end is
// finished after the next read. The chunk is on the heap: a thread's stack may
// be far smaller than it (64 KiB in a current Emscripten build).
void readRows(std::FILE* file, unsigned char* pixels, std::int32_t width, std::int64_t rows,
              bool topDown) {
    constexpr std::size_t kChunkBytes = std::size_t{1} << 17;
    const std::unique_ptr<unsigned char[]> chunkOwner(new unsigned char[kChunkBytes]);
    unsigned char* const chunk = chunkOwner.get();
    const std::size_t rowBytes = 4 * std::size_t(width);
    const auto bufferRow = [&](std::int64_t row) {
        return pixels + std::size_t(topDown ? rows - 1 - row : row) * rowBytes;
    };

    std::int64_t row = 0;
    std::size_t column = 0;          // the next pixel of the row
    std::size_t padding = 0;         // bytes after the row still to pass over
    std::size_t held = 0, used = 0;  // bytes in the chunk, and those already taken
    while (row < rows) {
        const std::size_t pixelsHeld = (held - used) / 3;
        if (padding > 0 && held > used) {
            const std::size_t skipped = std::min(padding, held - used);
            used += skipped;
            padding -= skipped;
        } else if (padding == 0 && pixelsHeld > 0) {
            const std::size_t count = std::min(std::size_t(width) - column, pixelsHeld);
            widen(chunk + used, bufferRow(row) + 4 * column, count);
            used += 3 * count;
            column += count;
            if (column == std::size_t(width)) {
                ++row;
                column = 0;
                padding = std::size_t(width % 4);
            }
        } else {
            // The chunk holds at most two bytes of a pixel: keep them, read on.
            std::memmove(chunk, chunk + used, held - used);
            held -= used;
            used = 0;
            const std::size_t got = std::fread(chunk + held, 1, kChunkBytes - held, file);
            if (got == 0) {
                break;
            }
            held += got;
        }
    }
    if (row == rows) {
        return;
    }
    // The file has ended inside row `row`, perhaps inside a pixel, which keeps
    // the bytes it got; whatever is missing reads as 0xFF.
    unsigned char* const rowStart = bufferRow(row);
    std::size_t filled = 4 * column;
    if (padding == 0) {
        std::memset(chunk + held, 0xFF, 3);
        widen(chunk, rowStart + filled, 1);
        filled += 4;
    }
    std::memset(rowStart + filled, 0xFF, rowBytes - filled);
    // The rows still to come are all 0xFF: those after this one in the buffer,
    // or before it for a top-down file.
    const std::size_t laterRows = std::size_t(rows - 1 - row);
    std::memset(topDown ? pixels : rowStart + rowBytes, 0xFF, laterRows * rowBytes);
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
    // The rows are read in large chunks of the loader's own: stdio's buffer
    // would only add a copy and split each read in two.
    if (file) {
        std::setvbuf(file.get(), nullptr, _IONBF, 0);
    }
    return loadBitmap(file.get());
}

void Image::clear() {
    std::free(pixels);
    pixels = nullptr;
}

bool Image::loadBitmap(std::FILE* file) {
    clear();

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

    readRows(file, pixels, width, rows, topDown);
    return true;
}
