#pragma once

#include <cstdint>
#include <cstdlib>

// One frame of drift as the plainest loop does it, with one rand() call a pixel.
inline void referenceDrift(unsigned char* pixels, std::int64_t pixelCount) {
    for (std::int64_t k = 0; k < pixelCount - 8; ++k) {
        unsigned char* p = pixels + 4 * k;
        p[0] = p[8];
        p[1] = p[5];
        p[2] = p[10];
        p[3] = static_cast<unsigned char>(std::rand() % 255);
    }
}
