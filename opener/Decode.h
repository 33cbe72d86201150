#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// The opener's steps that differ between platforms are each platform's own:
// its decoder (DecodeMagick.cpp on Linux, DecodeWic.cpp on Windows) and its
// process code (ProcessLinux.cpp, ProcessWindows.cpp). Both follow one flow:
// the arguments, the picture's bytes read once, the bitmap (bitmapFor), a
// fresh folder, the demo, the clean-up.

// Why a picture cannot be shown: one sentence for a person, in UTF-8.
struct Refusal : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A picture's first frame on its canvas, upright and in sRGB: width x height
// pixels of blue, green, red and alpha premultiplied into them, rows top
// first.
struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;
};

// Makes the platform's decoder ready; its temporary files, for pictures
// larger than its memory, go into folder where it makes any.
void startDecoder(const std::string& folder);

// The picture in bytes, by the platform's decoder; name is the picture's name
// as given, for the sentences. Throws Refusal where it cannot.
Picture decode(const std::vector<std::uint8_t>& bytes, const std::string& name);

// The bitmap the demo shows for a picture: an uncompressed 24-bit bitmap as
// it is (its rows moved up to its header, for a reader that cannot seek),
// which the demo reads itself, else the square of the decoded picture on
// white.
std::vector<std::uint8_t> bitmapFor(const std::vector<std::uint8_t>& bytes,
                                    const std::string& name);
