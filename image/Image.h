#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class Noise;

// An RGBA picture read from an uncompressed 24-bit bitmap file. The buffer is
// width * height * 4 bytes, bottom row first, which is the row order OpenGL
// expects for texture row 0. The fields are plain data: the shell hands them
// straight to glTexImage2D.
class Image {
  public:
    // Loads fileName; on failure prints the one error line and leaves pixels null.
    explicit Image(std::string fileName);
    // No picture yet, and no message: for callers that load through loadBitmap.
    Image() = default;
    ~Image();

    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // Replaces the picture with the one in fileName. Returns false, with pixels
    // null, when the file is missing, not a 24-bit bitmap, or too large.
    bool loadBitmap(std::string fileName);

    // The same from a file the caller opened in binary mode and closes again;
    // a null file counts as one that could not be opened.
    bool loadBitmap(std::FILE* file);

    // Lets go of the picture: pixels null, as after a failed load.
    void clear();

    // One frame of colour drift: red and blue move two pixels towards the start
    // of the buffer, green one pixel, and alpha is refilled with noise. The
    // last 8 pixels stay as they are. The noise is the C library's default
    // rand() sequence, continued from frame to frame by Noise::shared().
    void drift();
    // The same step with its noise taken from the given generator.
    void drift(Noise& noise);

    std::int32_t width = 0;
    std::int32_t height = 0;
    unsigned char* pixels = nullptr;
};
