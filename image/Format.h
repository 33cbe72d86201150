#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

// A plain bitmap with its rows right after the 54-byte header, for a reader
// that cannot seek to where a larger header puts them (a pipe): the same
// picture, as the header's fields before the rows say nothing else the demo
// reads. Bytes that are no plain bitmap, or whose rows are there already,
// come back as they are.
std::vector<std::uint8_t> withRowsAfterHeader(std::vector<std::uint8_t> bytes);
