#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// Why a picture cannot be shown: one sentence, for a person.
struct Refusal : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Makes the decoder ready; its temporary files, for pictures larger than its
// memory, go into folder.
void startDecoder(const std::string& folder);

// The bitmap the demo shows for a picture: the bytes themselves for an
// uncompressed 24-bit bitmap, else the square of its first frame, upright, in
// sRGB, on white. name is the picture's name as given, for the sentences.
// Throws Refusal where it cannot.
std::vector<std::uint8_t> bitmapFor(const std::vector<std::uint8_t>& bytes,
                                    const std::string& name);
