#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "fuzz/bitmap_check.h"

// Runs the fuzz target's checks over every file in the folders given, so the
// inputs that once broke the loader are tried again in every build, with or
// without libFuzzer. Notes (.md files) are skipped. Fails when the folders
// hold no input at all.
int main(int argc, char** argv) {
    int checked = 0;
    for (int i = 1; i < argc; ++i) {
        for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
            if (!entry.is_regular_file() || entry.path().extension() == ".md") {
                continue;
            }
            std::ifstream in(entry.path(), std::ios::binary);
            const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
            std::cout << entry.path().string() << '\n';
            checkBitmapLoad(bytes.data(), bytes.size());
            ++checked;
        }
    }
    std::cout << checked << " files loaded and checked\n";
    return checked > 0 ? 0 : 1;
}
