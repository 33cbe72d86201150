#pragma once

#include <cstddef>

#include "image/Noise.h"

class Image;

// The drift's loops, behind Image::drift, which runs driftAvx2 where the
// processor has AVX2 and driftPortable for the pixels left over. Both leave
// the same bytes; they are declared here so that each can be tested alone.
//
// Each rewrites pixels 0 to count - 1 of the buffer at pixels: pixel k takes
// red and blue from pixel k + 2 and green from pixel k + 1 as they were, and
// the next noise value modulo 255 as its alpha. The buffer must hold
// count + 2 pixels.
void driftPortable(unsigned char* pixels, std::size_t count, Noise& noise);

// How many pixels one drift of the picture rewrites: all but the last eight,
// and none when there is no picture.
std::size_t driftedPixels(const Image& image);

#ifdef ORVALIS_NOISE_AVX2
// Only for processors that have AVX2 (cpuHasAvx2). Rewrites the largest
// multiple of eight pixels up to count, and returns how many that is: the
// rest is for driftPortable.
std::size_t driftAvx2(unsigned char* pixels, std::size_t count, Noise& noise);
#endif
