#pragma once

#include <cstdint>
#include <vector>

// The picture that every way of showing one's own picture puts on the cube
// (the page and the openers of Linux and Windows): a square whose side
// is the largest power of two up to 512 that the picture's longer side
// reaches, so that every OpenGL takes it, stretched, with what is
// transparent white.

// That side for a picture of the given size (1 for an empty one).
int squareSide(int width, int height);

// The 24-bit bitmap file of that square, rows bottom first, made from
// width * height pixels of blue, green, red and alpha premultiplied into
// them, rows top first: each square pixel is the average of the part of the
// picture it covers, laid on white.
std::vector<std::uint8_t> squareBitmap(const std::uint8_t* premultipliedBgra, int width,
                                       int height);
