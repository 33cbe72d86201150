#include "image/Orientation.h"

#include <algorithm>
#include <utility>

namespace {

// A TIFF structure of size bytes: its byte order, and bounded reads in it.
struct Tiff {
    const std::uint8_t* bytes;
    std::size_t size;
    bool littleEndian;

    bool fits(std::size_t at, std::size_t count) const { return at <= size && count <= size - at; }
    unsigned u16(std::size_t at) const {
        return littleEndian ? bytes[at] | bytes[at + 1] << 8 : bytes[at] << 8 | bytes[at + 1];
    }
    std::uint32_t u32(std::size_t at) const {
        return littleEndian ? u16(at) | std::uint32_t(u16(at + 2)) << 16
                            : std::uint32_t(u16(at)) << 16 | u16(at + 2);
    }
};

// The orientation in the first directory of the TIFF structure at bytes.
int tiffOrientation(const std::uint8_t* bytes, std::size_t size) {
    if (size < 8 ||
        !((bytes[0] == 'I' && bytes[1] == 'I') || (bytes[0] == 'M' && bytes[1] == 'M'))) {
        return 1;
    }
    const Tiff tiff{bytes, size, bytes[0] == 'I'};
    if (tiff.u16(2) != 42) {
        return 1;
    }
    const std::size_t directory = tiff.u32(4);
    if (!tiff.fits(directory, 2)) {
        return 1;
    }
    const unsigned entries = tiff.u16(directory);
    for (unsigned i = 0; i < entries; ++i) {
        const std::size_t entry = directory + 2 + std::size_t(i) * 12;
        if (!tiff.fits(entry, 12)) {
            return 1;
        }
        // Tag 274, one SHORT, its value in the entry's first two value bytes.
        if (tiff.u16(entry) == 274) {
            const unsigned value = tiff.u16(entry + 8);
            return tiff.u16(entry + 2) == 3 && tiff.u32(entry + 4) == 1 && value >= 1 && value <= 8
                       ? int(value)
                       : 1;
        }
    }
    return 1;
}

}  // namespace

int exifOrientation(const std::uint8_t* bytes, std::size_t size) {
    if (size >= 4 && bytes[0] == 0xFF && bytes[1] == 0xD8) {
        // A JPEG: its markers, each with a big-endian length that counts
        // itself, up to the first without one that the picture begins with.
        std::size_t at = 2;
        while (at + 4 <= size && bytes[at] == 0xFF) {
            const unsigned marker = bytes[at + 1];
            const std::size_t length = std::size_t(bytes[at + 2]) << 8 | bytes[at + 3];
            if (marker == 0xDA || length < 2 || length > size - at - 2) {
                return 1;
            }
            const std::uint8_t* segment = bytes + at + 4;
            const std::size_t segmentSize = length - 2;
            static const std::uint8_t exif[] = {'E', 'x', 'i', 'f', 0, 0};
            if (marker == 0xE1 && segmentSize >= sizeof exif &&
                std::equal(exif, exif + sizeof exif, segment)) {
                return tiffOrientation(segment + sizeof exif, segmentSize - sizeof exif);
            }
            at += 2 + length;
        }
        return 1;
    }
    return tiffOrientation(bytes, size);
}

std::vector<std::uint8_t> upright(const std::uint8_t* pixels, int& width, int& height,
                                  int orientation) {
    const int w = width, h = height;
    const bool sideways = orientation >= 5 && orientation <= 8;
    if (sideways) {
        std::swap(width, height);
    }
    std::vector<std::uint8_t> turned(std::size_t(w) * h * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            // Where the stored pixel x, y goes: orientation 6, for one, has
            // the stored rows as the upright picture's columns, right to left.
            int toX = x, toY = y;
            switch (orientation) {
                case 2:
                    toX = w - 1 - x;
                    break;
                case 3:
                    toX = w - 1 - x, toY = h - 1 - y;
                    break;
                case 4:
                    toY = h - 1 - y;
                    break;
                case 5:
                    toX = y, toY = x;
                    break;
                case 6:
                    toX = h - 1 - y, toY = x;
                    break;
                case 7:
                    toX = h - 1 - y, toY = w - 1 - x;
                    break;
                case 8:
                    toX = y, toY = w - 1 - x;
                    break;
                default:
                    break;
            }
            std::copy_n(pixels + (std::size_t(y) * w + x) * 4, 4,
                        &turned[(std::size_t(toY) * width + toX) * 4]);
        }
    }
    return turned;
}
