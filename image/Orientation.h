#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// How a camera says it was held when it took a photo: the EXIF orientation
// (tag 274) of a JPEG's APP1 block or a TIFF's first directory, read from the
// first bytes of the file, 1 to 8. 1 (as stored, upright) where the file
// says none, or says it so that it cannot be read: every byte is untrusted.
int exifOrientation(const std::uint8_t* bytes, std::size_t size);

// The pixels (4 bytes each, rows top first) of a picture width x height as
// stored, turned and flipped as orientation says, so that they are upright;
// width and height become the upright picture's (swapped for 5 to 8).
std::vector<std::uint8_t> upright(const std::uint8_t* pixels, int& width, int& height,
                                  int orientation);
