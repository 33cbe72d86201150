#pragma once

#include <cstddef>
#include <cstdint>

// Loads the bytes as a bitmap file through Image's loader and aborts, naming
// the broken promise, unless the result is one the loader may give: a picture
// of positive size whose buffer holds exactly width * height * 4 bytes with
// every alpha 255, or no buffer at all. A loaded picture is drifted once too
// when it is small, so the drift runs over every shape of picture.
void checkBitmapLoad(const std::uint8_t* data, std::size_t size);
