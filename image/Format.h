#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The kinds of picture the openers show, told from a file's first bytes
// (every byte untrusted) rather than from its name, so that a decoder is only
// ever handed the kind it was chosen for. A Targa file has no signature, so
// its name's ending (.tga) is what tells it.
enum class PictureFormat { unknown, png, jpeg, gif, webp, tiff, bmp, ico, tga };

PictureFormat pictureFormat(const std::uint8_t* bytes, std::size_t size, const std::string& name);

// Whether the bytes are an uncompressed 24-bit Windows bitmap, which the demo
// reads itself: "BM", an info header larger than OS/2's 12 bytes, 24 bits a
// pixel and no compression.
bool isPlainBitmap(const std::uint8_t* bytes, std::size_t size);
