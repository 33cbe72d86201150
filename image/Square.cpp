#include "image/Square.h"

#include <cmath>

int squareSide(int width, int height) {
    const int longer = width > height ? width : height;
    int side = 512;
    while (side > longer && side > 1) {
        side /= 2;
    }
    return side;
}

namespace {

// How much each of `from` pixels along one axis adds to each of `to`: the
// share of the source pixel that the target pixel covers, so that each
// target pixel's weights add up to one.
struct Share {
    int source;
    double weight;
};
std::vector<std::vector<Share>> shares(int from, int to) {
    std::vector<std::vector<Share>> out(to);
    const double scale = double(from) / to;
    for (int i = 0; i < to; ++i) {
        const double begin = i * scale, end = (i + 1) * scale;
        for (int s = int(begin); s < from && s < end; ++s) {
            const double covered = std::fmin(end, s + 1.0) - std::fmax(begin, double(s));
            out[i].push_back({s, covered / scale});
        }
    }
    return out;
}

void putLe(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[at + i] = std::uint8_t(value >> (8 * i));
    }
}

}  // namespace

std::vector<std::uint8_t> squareBitmap(const std::uint8_t* premultipliedBgra, int width,
                                       int height) {
    const int side = squareSide(width, height);
    // Across first, into side columns of every row; then down, into side rows.
    const auto across = shares(width, side), down = shares(height, side);
    std::vector<float> columns(std::size_t(height) * side * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < side; ++x) {
            for (const Share& share : across[x]) {
                const std::uint8_t* from =
                    premultipliedBgra + (std::size_t(y) * width + share.source) * 4;
                float* to = &columns[(std::size_t(y) * side + x) * 4];
                for (int c = 0; c < 4; ++c) {
                    to[c] += float(from[c] * share.weight);
                }
            }
        }
    }

    const std::size_t rowBytes = (3 * std::size_t(side) + 3) & ~std::size_t(3);
    std::vector<std::uint8_t> file(54 + rowBytes * side);
    file[0] = 'B';
    file[1] = 'M';
    putLe(file, 2, std::uint32_t(file.size()));
    putLe(file, 10, 54);
    putLe(file, 14, 40);
    putLe(file, 18, std::uint32_t(side));
    putLe(file, 22, std::uint32_t(side));
    file[26] = 1;   // one plane
    file[28] = 24;  // bits a pixel
    putLe(file, 34, std::uint32_t(rowBytes * side));
    for (int y = 0; y < side; ++y) {
        // The file's first row is the square's bottom one.
        std::uint8_t* row = &file[54 + rowBytes * (side - 1 - y)];
        for (int x = 0; x < side; ++x) {
            double bgra[4] = {};
            for (const Share& share : down[y]) {
                const float* from = &columns[(std::size_t(share.source) * side + x) * 4];
                for (int c = 0; c < 4; ++c) {
                    bgra[c] += from[c] * share.weight;
                }
            }
            // Premultiplied colour on white: the colour, plus white where it is not.
            for (int c = 0; c < 3; ++c) {
                row[3 * x + c] = std::uint8_t(std::lround(std::fmin(255, bgra[c] + 255 - bgra[3])));
            }
        }
    }
    return file;
}
