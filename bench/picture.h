#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "tests/bitmap_file.h"

// The bytes of a side x side 24-bit bitmap of varied colours, each row padded.
inline Bytes pictureFile(int side) {
    Bytes rows;
    for (int row = 0; row < side; ++row) {
        for (int i = 0; i < 3 * side; ++i) {
            rows.push_back(std::uint8_t(37 * (row * 3 * side + i) + 11));
        }
        rows.insert(rows.end(), std::size_t(side % 4), 0);
    }
    return bitmap(side, side, rows);
}

// A file holding the given bytes, removed again when the object goes.
class TempFile {
  public:
    explicit TempFile(const Bytes& bytes) {
        const std::string name = "orvalis-bench-" + std::to_string(std::random_device()()) + ".bmp";
        path_ = (std::filesystem::temp_directory_path() / name).string();
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
