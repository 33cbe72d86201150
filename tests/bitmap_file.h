#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

using Bytes = std::vector<std::uint8_t>;

// A 54-byte bitmap header (file header plus 40-byte info header) followed by
// the given pixel bytes, which are written as they stand.
inline Bytes bitmap(std::int32_t width, std::int32_t height, const Bytes& pixelBytes,
                    std::int16_t bitsPerPixel = 24, std::uint32_t dataOffset = 54) {
    Bytes out(54 + pixelBytes.size(), 0);
    auto put = [&out](std::size_t at, std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i) {
            out[at + i] = std::uint8_t(value >> (8 * i));
        }
    };
    out[0] = 'B';
    out[1] = 'M';
    put(2, std::uint32_t(54 + pixelBytes.size()), 4);
    put(10, dataOffset, 4);
    put(14, 40, 4);
    put(18, std::uint32_t(width), 4);
    put(22, std::uint32_t(height), 4);
    put(26, 1, 2);
    put(28, std::uint16_t(bitsPerPixel), 2);
    put(34, std::uint32_t(pixelBytes.size()), 4);
    std::copy(pixelBytes.begin(), pixelBytes.end(), out.begin() + 54);
    return out;
}

// The pixel rows of a width x rows picture of varied colours, as a bitmap
// stores them: width * 3 bytes a row plus its padding.
inline Bytes variedRows(std::int32_t width, std::int32_t rows) {
    Bytes out;
    for (std::int32_t row = 0; row < rows; ++row) {
        for (std::int32_t i = 0; i < 3 * width; ++i) {
            out.push_back(std::uint8_t(37 * (row * 3 * width + i) + 11));
        }
        out.insert(out.end(), std::size_t(width % 4), 0);
    }
    return out;
}

// A file holding the given bytes, removed again when the object goes.
class TempFile {
  public:
    explicit TempFile(const Bytes& bytes) {
        char name[] = "/tmp/orvalis-test-XXXXXX";
        const int fd = mkstemp(name);
        close(fd);
        path_ = name;
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    ~TempFile() { std::remove(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return path_; }

  private:
    std::string path_;
};
