#include "image/Square.h"

#include <algorithm>
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

// Calls add(source, weight) for each of `from` pixels along one axis that
// target pixel i of `to` covers, with the share of it that i covers, so that
// each target pixel's weights add up to one.
template <class Add>
void eachShare(int from, int to, int i, Add add) {
    const double scale = double(from) / to;
    const double begin = i * scale, end = (i + 1) * scale;
    for (int s = int(begin); s < from && s < end; ++s) {
        const double covered = std::fmin(end, s + 1.0) - std::fmax(begin, double(s));
        add(s, covered / scale);
    }
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

    // One square row at a time: the picture's rows that it covers, weighed
    // and added up, then taken across into side columns. It takes a row of
    // the picture and a row of the square, whatever the picture's height.
    std::vector<double> down(std::size_t(width) * 4), across(std::size_t(side) * 4);
    for (int y = 0; y < side; ++y) {
        std::fill(down.begin(), down.end(), 0.0);
        eachShare(height, side, y, [&](int source, double weight) {
            const std::uint8_t* pixels = premultipliedBgra + std::size_t(source) * width * 4;
            for (std::size_t i = 0; i < down.size(); ++i) {
                down[i] += pixels[i] * weight;
            }
        });
        std::fill(across.begin(), across.end(), 0.0);
        for (int x = 0; x < side; ++x) {
            eachShare(width, side, x, [&](int source, double weight) {
                for (int c = 0; c < 4; ++c) {
                    across[std::size_t(x) * 4 + c] += down[std::size_t(source) * 4 + c] * weight;
                }
            });
        }
        // The file's first row is the square's bottom one.
        std::uint8_t* row = &file[54 + rowBytes * (side - 1 - y)];
        for (int x = 0; x < side; ++x) {
            const double* bgra = &across[std::size_t(x) * 4];
            // Premultiplied colour on white: the colour, plus white where it is not.
            for (int c = 0; c < 3; ++c) {
                row[3 * x + c] = std::uint8_t(std::lround(std::fmin(255, bgra[c] + 255 - bgra[3])));
            }
        }
    }
    return file;
}
