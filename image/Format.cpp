#include "image/Format.h"

#include "image/LittleEndian.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

bool startsWith(const std::uint8_t* bytes, std::size_t size, const char* signature,
                std::size_t length, std::size_t at = 0) {
    return size >= at + length && std::memcmp(bytes + at, signature, length) == 0;
}

bool endsWithIgnoringCase(const std::string& name, const std::string& ending) {
    return name.size() >= ending.size() &&
           std::equal(ending.rbegin(), ending.rend(), name.rbegin(), [](char a, char b) {
               return a == std::tolower(static_cast<unsigned char>(b));
           });
}

}  // namespace

PictureFormat pictureFormat(const std::uint8_t* bytes, std::size_t size, const std::string& name) {
    if (startsWith(bytes, size, "\x89PNG\r\n\x1a\n", 8)) {
        return PictureFormat::png;
    }
    if (startsWith(bytes, size, "\xff\xd8\xff", 3)) {
        return PictureFormat::jpeg;
    }
    if (startsWith(bytes, size, "GIF87a", 6) || startsWith(bytes, size, "GIF89a", 6)) {
        return PictureFormat::gif;
    }
    if (startsWith(bytes, size, "RIFF", 4) && startsWith(bytes, size, "WEBP", 4, 8)) {
        return PictureFormat::webp;
    }
    if (startsWith(bytes, size, "II*\0", 4) || startsWith(bytes, size, "MM\0*", 4)) {
        return PictureFormat::tiff;
    }
    if (startsWith(bytes, size, "BM", 2) && size >= 26) {
        return PictureFormat::bmp;
    }
    // An icon's directory: reserved 0, type 1, and at least one entry.
    if (startsWith(bytes, size, "\0\0\1\0", 4) && size >= 22 && readLe16(bytes + 4) > 0) {
        return PictureFormat::ico;
    }
    if (size >= 18 && (endsWithIgnoringCase(name, ".tga") || endsWithIgnoringCase(name, ".tpic"))) {
        return PictureFormat::tga;
    }
    return PictureFormat::unknown;
}

bool isPlainBitmap(const std::uint8_t* bytes, std::size_t size) {
    return startsWith(bytes, size, "BM", 2) && size >= 34 && readLe32(bytes + 14) != 12 &&
           readLe16(bytes + 28) == 24 && readLe32(bytes + 30) == 0;
}

std::vector<std::uint8_t> withRowsAfterHeader(std::vector<std::uint8_t> bytes) {
    constexpr std::size_t header = 54;
    if (!isPlainBitmap(bytes.data(), bytes.size()) || bytes.size() < header) {
        return bytes;
    }
    const std::size_t rows = readLe32(&bytes[10]);
    if (rows <= header) {
        return bytes;
    }
    bytes.erase(bytes.begin() + header, bytes.begin() + std::min(rows, bytes.size()));
    bytes[10] = header;
    bytes[11] = bytes[12] = bytes[13] = 0;
    return bytes;
}
