#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "tests/bitmap_file.h"

// Writes the fuzzer's seed bitmaps, small valid and invalid ones, into the
// folder given; each file is named by what it holds.
int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_corpus FOLDER\n";
        return 2;
    }
    Bytes badSignature = bitmap(2, 2, variedRows(2, 2));
    badSignature[0] = 'M';
    const Bytes full = bitmap(3, 2, variedRows(3, 2));
    const struct {
        const char* name;
        Bytes bytes;
    } seeds[] = {
        {"1x1", bitmap(1, 1, variedRows(1, 1))},
        {"2x3", bitmap(2, 3, variedRows(2, 3))},
        {"3x2", full},
        {"4x4", bitmap(4, 4, variedRows(4, 4))},
        {"37x2", bitmap(37, 2, variedRows(37, 2))},
        {"5x3-top-down", bitmap(5, -3, variedRows(5, 3))},
        {"3x3-data-offset-70", bitmap(3, 3, Bytes(16, 0x5A), 24, 70)},
        {"3x3-data-offset-past-end", bitmap(3, 3, variedRows(3, 3), 24, 4096)},
        {"3x2-ends-inside-rows", Bytes(full.begin(), full.end() - 7)},
        {"2x2-top-down-ends-inside-rows", bitmap(2, -2, {1, 2, 3, 4, 5})},
        {"256x256-header-only", bitmap(256, 256, {})},
        {"header-cut-short", Bytes(full.begin(), full.begin() + 40)},
        {"bad-signature", badSignature},
        {"8-bit", bitmap(2, 2, variedRows(2, 2), 8)},
        {"32-bit", bitmap(2, 2, variedRows(2, 2), 32)},
        {"zero-width", bitmap(0, 2, variedRows(1, 2))},
        {"negative-width", bitmap(-2, 2, variedRows(2, 2))},
        {"zero-height", bitmap(2, 0, variedRows(2, 1))},
        {"too-large", bitmap(1 << 15, 1 << 14, variedRows(1, 1))},
        {"most-negative-height", bitmap(1, INT32_MIN, variedRows(1, 1))},
    };
    std::filesystem::create_directories(argv[1]);
    for (const auto& seed : seeds) {
        std::ofstream(std::filesystem::path(argv[1]) / (std::string(seed.name) + ".bmp"),
                      std::ios::binary)
            .write(reinterpret_cast<const char*>(seed.bytes.data()),
                   std::streamsize(seed.bytes.size()));
    }
    std::cout << std::size(seeds) << " seeds written to " << argv[1] << '\n';
}
