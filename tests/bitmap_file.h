#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "image/Image.h"

using Bytes = std::vector<std::uint8_t>;

// A 54-byte bitmap header followed by the given pixel bytes as they stand.
// Of the header, only the fields the loader reads are filled in.
inline Bytes bitmap(std::int32_t width, std::int32_t height, const Bytes& pixelBytes,
                    std::int16_t bitsPerPixel = 24, std::uint32_t dataOffset = 54) {
    Bytes out(54 + pixelBytes.size(), 0);
    out[0] = 'B';
    out[1] = 'M';
    // From byte 10: data offset, info header size, width, height, planes and bit count.
    const std::uint32_t fields[] = {dataOffset, 0, std::uint32_t(width), std::uint32_t(height),
                                    std::uint32_t(std::uint16_t(bitsPerPixel)) << 16};
    for (int i = 0; i < 20; ++i) {
        out[10 + i] = std::uint8_t(fields[i / 4] >> (8 * (i % 4)));
    }
    std::copy(pixelBytes.begin(), pixelBytes.end(), out.begin() + 54);
    return out;
}

// The bytes as a file to read: in memory, or a temporary file where the C
// library has no fmemopen (Windows).
inline std::FILE* openBytes(const std::uint8_t* data, std::size_t size) {
#ifdef _WIN32
    std::FILE* file = std::tmpfile();
    std::fwrite(data, 1, size, file);
    std::rewind(file);
    return file;
#else
    return fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
#endif
}

// Loads the bytes through the program's loader.
inline bool load(Image& image, const Bytes& file) {
    std::FILE* in = openBytes(file.data(), file.size());
    const bool loaded = image.loadBitmap(in);
    std::fclose(in);
    return loaded;
}
