#pragma once

#include <cstddef>

#include "tests/bitmap_file.h"

// The bytes of a side x side 24-bit bitmap of varied colours. Sides that are
// multiples of four give rows without padding, which is all the benchmarks use.
inline Bytes pictureFile(int side) {
    Bytes rows(std::size_t(side) * side * 3);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i] = std::uint8_t(i * 131 + (i >> 9));
    }
    return bitmap(side, side, rows);
}
