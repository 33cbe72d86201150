#pragma once

#include "tests/bitmap_file.h"

// The bytes of a side x side 24-bit bitmap of varied colours.
inline Bytes pictureFile(int side) {
    return bitmap(side, side, variedRows(side, side));
}
