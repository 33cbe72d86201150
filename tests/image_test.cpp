#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <optional>
#include <string>

#include "image/Drift.h"
#include "image/Format.h"
#include "image/Noise.h"
#include "image/Orientation.h"
#include "image/Square.h"
#include "tests/bitmap_file.h"
#include "tests/reference_drift.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

Bytes pixelsOf(const Image& image) {
    return {image.pixels, image.pixels + std::size_t(image.width) * image.height * 4};
}

// Bitmaps with what the loader must make of them: red, green, blue and alpha
// 255 for each blue, green, red in the file, bottom row first, rows padded to
// four bytes; 0xFF for every byte missing at the end. Or nothing, refused.
TEST(Loader, LoadsOrRefusesEachFileAsItShould) {
    const Bytes pixel{1, 2, 3, 0}, good = bitmap(1, 1, pixel), loaded{3, 2, 1, 255};
    Bytes badSignature = good;
    badSignature[1] = 'A';
    const struct {
        const char* what;
        Bytes file;
        std::optional<Bytes> pixels;  // none: refused
    } files[] = {
        {"data offset past the header", bitmap(1, 1, {9, 9, 9, 9, 1, 2, 3, 0}, 24, 58), loaded},
        {"data offset within the header", bitmap(1, 1, pixel, 24, 26), loaded},
        {"data offset past the end", bitmap(2, 1, pixel, 24, 99), Bytes(8, 0xFF)},
        {"cut inside a pixel", bitmap(2, 2, {1, 2, 3, 4}),
         Bytes{3, 2, 1, 255, 255, 255, 4, 255, 255, 255, 255, 255, 255, 255, 255, 255}},
        {"top-down, cut inside a pixel", bitmap(1, -2, {1, 2, 3, 0, 4}),
         Bytes{255, 255, 4, 255, 3, 2, 1, 255}},
        {"top-down, cut after a row", bitmap(2, -2, {1, 2, 3, 4, 5, 6, 0, 0}),
         Bytes{255, 255, 255, 255, 255, 255, 255, 255, 3, 2, 1, 255, 6, 5, 4, 255}},
        {"bad signature", badSignature, std::nullopt},
        {"header cut short", Bytes(good.begin(), good.begin() + 53), std::nullopt},
        {"8-bit", bitmap(1, 1, pixel, 8), std::nullopt},
        {"32-bit", bitmap(1, 1, pixel, 32), std::nullopt},
        {"zero width", bitmap(0, 1, pixel), std::nullopt},
        {"zero height", bitmap(1, 0, pixel), std::nullopt},
        {"2^31 bytes", bitmap(1 << 15, 1 << 14, pixel), std::nullopt},
        {"2^31 bytes, top-down", bitmap(1 << 15, -(1 << 14), pixel), std::nullopt},
    };
    Image image;
    for (const auto& f : files) {
        ASSERT_TRUE(load(image, good));
        EXPECT_EQ(load(image, f.file), f.pixels.has_value()) << f.what;
        EXPECT_EQ(image.pixels ? std::optional(pixelsOf(image)) : std::nullopt, f.pixels) << f.what;
    }
}

// The fuzz target's check, which aborts on a broken promise, over fuzz/'s files.
TEST(Loader, KeepsItsPromisesForTheFuzzersSeedsAndRegressions) {
    for (const char* folder : {"fuzz/seeds", "fuzz/regressions"}) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string bytes{std::istreambuf_iterator<char>(in), {}};  // data() never null
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                   bytes.size());
        }
    }
}

// Three frames of the drift, as the picture drifts or through its portable
// loop alone, against the plainest loop with one rand() call per pixel: the
// channels, the untouched last eight pixels, alpha and the noise at once.
void expectDriftMatchesRand(int width, int height, bool portableLoopAlone) {
    Bytes rows(std::size_t(width) * height * 4);
    std::iota(rows.begin(), rows.end(), 0);  // so that a wrong shift or channel shows
    Image image;
    ASSERT_TRUE(load(image, bitmap(width, height, rows)));
    Bytes expected = pixelsOf(image);
    std::vector<Bytes> frames;
    Noise noise;
    std::srand(1);  // Noise calls rand() itself where it does not know the C library's
    for (int frame = 0; frame < 3; ++frame) {
        portableLoopAlone ? driftPortable(image.pixels, driftedPixels(image), noise)
                          : image.drift(noise);
        frames.push_back(pixelsOf(image));
    }
    std::srand(1);
    for (const Bytes& frame : frames) {
        referenceDrift(expected.data(), std::int64_t{width} * height);
        const auto wrong = std::mismatch(frame.begin(), frame.end(), expected.begin()).first;
        EXPECT_EQ(wrong, frame.end()) << "first wrong byte: " << wrong - frame.begin();
    }
}

// Sizes around 8 pixels (the AVX2 step, the tail left alone) and 2048 (a chunk).
TEST(Drift, MatchesThePlainestLoopAlongBothItsLoops) {
    const std::pair<int, int> sizes[] = {{1, 1},    {2, 4},   {3, 3},    {4, 4},     {1, 17},
                                         {1, 2055}, {8, 257}, {1, 2057}, {17, 1023}, {1024, 1024}};
    for (const auto& [width, height] : sizes) {
        for (bool portableLoopAlone : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << width << " x " << height << " portable " << portableLoopAlone);
            expectDriftMatchesRand(width, height, portableLoopAlone);
        }
    }
}

// The square's side: the largest power of two up to 512 that the
// longer side reaches.
TEST(Square, SideIsTheLargestPowerOfTwoUpTo512ThatTheLongerSideReaches) {
    const struct {
        int width, height, side;
    } sizes[] = {{0, 0, 1},     {1, 1, 1},     {3, 2, 2},     {2, 3, 2},     {255, 1, 128},
                 {256, 1, 256}, {1, 511, 256}, {512, 7, 512}, {513, 1, 512}, {9000, 9, 512}};
    for (const auto& [width, height, side] : sizes) {
        EXPECT_EQ(squareSide(width, height), side) << width << " x " << height;
    }
}

// A 2 x 2 picture, rows top first in premultiplied blue, green, red
// and alpha: red, then blue half see-through; green, then nothing.
// The demo's own loader reads the bitmap bottom row first.
TEST(Square, IsThePictureUprightOnWhite) {
    const Bytes picture{0, 0, 255, 255, 128, 0, 0, 128, 0, 255, 0, 255, 0, 0, 0, 0};
    Image image;
    ASSERT_TRUE(load(image, squareBitmap(picture.data(), 2, 2)));
    const Bytes expected{0, 255, 0, 255, 255, 255, 255, 255, 255, 0, 0, 255, 127, 127, 255, 255};
    EXPECT_EQ(pixelsOf(image), expected);
}

// A 3 x 1 picture, white, black, white, into a 2 x 2 square: each
// square pixel covers one and a half of the picture's.
TEST(Square, AveragesWhatEachPixelCovers) {
    const Bytes picture{255, 255, 255, 255, 0, 0, 0, 255, 255, 255, 255, 255};
    Image image;
    ASSERT_TRUE(load(image, squareBitmap(picture.data(), 3, 1)));
    ASSERT_EQ(image.width, 2);
    EXPECT_EQ(pixelsOf(image), (Bytes{170, 170, 170, 255, 170, 170, 170, 255, 170, 170, 170, 255,
                                      170, 170, 170, 255}));
}

// A picture a pixel wide and 16 million high, red over blue: 64 MB, whose
// square needs a few of its own rows, not 512 floats of every picture row
// (128 GB, which no allocation gets here).
TEST(Square, NeedsMemoryForTheSquareNotForThePicturesHeight) {
    const std::size_t height = 16'000'000;
    Bytes picture(height * 4, 255);
    for (std::size_t y = 0; y < height; ++y) {
        const bool red = y < height / 2;
        picture[y * 4] = red ? 0 : 255;
        picture[y * 4 + 2] = red ? 255 : 0;
        picture[y * 4 + 1] = 0;
    }
    Image image;
    ASSERT_TRUE(load(image, squareBitmap(picture.data(), 1, int(height))));
    ASSERT_EQ(image.width, 512);
    const Bytes pixels = pixelsOf(image), red{255, 0, 0, 255}, blue{0, 0, 255, 255};
    // The loader's rows are bottom first.
    EXPECT_EQ(Bytes(pixels.begin(), pixels.begin() + 4), blue);
    EXPECT_EQ(Bytes(pixels.end() - 4, pixels.end()), red);
}

// A TIFF's first directory with one entry, tag 274: a short (type 3),
// one of it, the value 6, in either byte order.
const Bytes tiffLittle{'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 1, 3,
                       0,   1,   0,  0, 0, 6, 0, 0, 0, 0, 0,    0, 0};
const Bytes tiffBig{'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 1, 0x12, 0,
                    3,   0,   0, 0,  1, 0, 6, 0, 0, 0, 0, 0,    0};

// A JPEG's start, an empty APP0 block, then an APP1 block of Exif and the
// TIFF structure given, then the picture's start of scan.
Bytes jpegWith(const Bytes& tiff) {
    const std::size_t length = 2 + 6 + tiff.size();
    Bytes jpeg{
        0xFF, 0xD8, 0xFF, 0xE0, 0, 2, 0xFF, 0xE1, std::uint8_t(length >> 8), std::uint8_t(length),
        'E',  'x',  'i',  'f',  0, 0};
    const Bytes scan{0xFF, 0xDA, 0, 2};
    for (const Bytes* part : {&tiff, &scan}) {
        jpeg.insert(jpeg.end(), part->begin(), part->end());
    }
    return jpeg;
}

int orientationOf(const Bytes& file) {
    return exifOrientation(file.data(), file.size());
}

TEST(Orientation, IsTheTagOfAJpegOrATiffInEitherByteOrder) {
    EXPECT_EQ(orientationOf(tiffLittle), 6);
    EXPECT_EQ(orientationOf(tiffBig), 6);
    EXPECT_EQ(orientationOf(jpegWith(tiffLittle)), 6);
    EXPECT_EQ(orientationOf(jpegWith(tiffBig)), 6);
}

// Each of these says no orientation that can be read, and is upright.
TEST(Orientation, IsUprightWhereTheFileSaysNoneOrSaysItBadly) {
    const auto changed = [](Bytes bytes, std::size_t at, std::uint8_t value) {
        bytes[at] = value;
        return bytes;
    };
    const auto cut = [](Bytes bytes, std::size_t size) {
        bytes.resize(size);
        return bytes;
    };
    const struct {
        const char* what;
        Bytes file;
    } files[] = {
        {"nothing", {}},
        {"a JPEG without Exif", {0xFF, 0xD8, 0xFF, 0xE0, 0, 2, 0xFF, 0xDA, 0, 2}},
        {"a JPEG cut inside its Exif", cut(jpegWith(tiffLittle), 20)},
        {"an APP1 block longer than the file", changed(jpegWith(tiffLittle), 9, 0xFF)},
        {"Exif after the start of scan", {0xFF, 0xD8, 0xFF, 0xDA, 0, 2, 0xFF, 0xE1, 0, 2}},
        {"no TIFF magic number", changed(tiffLittle, 2, 43)},
        {"a directory past the end", changed(tiffLittle, 4, 200)},
        {"an entry cut short", cut(tiffLittle, 20)},
        {"another tag", changed(tiffLittle, 10, 0x13)},
        {"a long rather than a short", changed(tiffLittle, 12, 4)},
        {"two values", changed(tiffLittle, 14, 2)},
        {"the value 0", changed(tiffLittle, 18, 0)},
        {"the value 9", changed(tiffLittle, 18, 9)},
    };
    for (const auto& [what, file] : files) {
        EXPECT_EQ(orientationOf(file), 1) << what;
    }
}

// A picture 3 x 2 as stored, its pixels numbered 0 to 5 rows first, made
// upright as each orientation says.
TEST(Orientation, TurnsAndFlipsThePictureUpright) {
    Bytes stored;
    for (std::uint8_t pixel = 0; pixel < 6; ++pixel) {
        stored.insert(stored.end(), 4, pixel);
    }
    const struct {
        int orientation, width;
        std::vector<int> pixels;
    } turns[] = {
        {1, 3, {0, 1, 2, 3, 4, 5}}, {2, 3, {2, 1, 0, 5, 4, 3}}, {3, 3, {5, 4, 3, 2, 1, 0}},
        {4, 3, {3, 4, 5, 0, 1, 2}}, {5, 2, {0, 3, 1, 4, 2, 5}}, {6, 2, {3, 0, 4, 1, 5, 2}},
        {7, 2, {5, 2, 4, 1, 3, 0}}, {8, 2, {2, 5, 1, 4, 0, 3}},
    };
    for (const auto& [orientation, width, pixels] : turns) {
        int turnedWidth = 3, turnedHeight = 2;
        const Bytes turned = upright(stored.data(), turnedWidth, turnedHeight, orientation);
        EXPECT_EQ(std::pair(turnedWidth, turnedHeight), std::pair(width, 6 / width)) << orientation;
        std::vector<int> firstBytes;
        for (std::size_t i = 0; i < turned.size(); i += 4) {
            firstBytes.push_back(turned[i]);
        }
        EXPECT_EQ(firstBytes, pixels) << orientation;
    }
}

Bytes bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

// Each kind told by its first bytes, a Targa by its name, and a name alone
// telling nothing else.
TEST(Format, TellsEachKindByItsFirstBytes) {
    using namespace std::string_literals;
    const Bytes zeros(32, 0);
    const struct {
        std::string start, name;
        PictureFormat format;
    } files[] = {
        {"\x89PNG\r\n\x1a\n", "a.jpg", PictureFormat::png},
        {"\x89PNG\r\n\x1a", "a.png", PictureFormat::unknown},
        {"\xff\xd8\xff", "", PictureFormat::jpeg},
        {"GIF87a", "", PictureFormat::gif},
        {"GIF89a", "", PictureFormat::gif},
        {"GIF90a", "a.gif", PictureFormat::unknown},
        {"RIFF\0\0\0\0WEBP"s, "", PictureFormat::webp},
        {"RIFF\0\0\0\0WAVE"s, "a.webp", PictureFormat::unknown},
        {"II*\0"s, "", PictureFormat::tiff},
        {"MM\0*"s, "", PictureFormat::tiff},
        {"BM", "", PictureFormat::bmp},
        {"\0\0\1\0\1\0"s, "", PictureFormat::ico},
        {"\0\0\1\0\0\0"s, "a.ico", PictureFormat::unknown},
        {"", "red.TGA", PictureFormat::tga},
        {"", "red.tga.txt", PictureFormat::unknown},
    };
    for (const auto& [start, name, format] : files) {
        Bytes file = bytesOf(start);
        // Long enough for any header the kind needs.
        file.insert(file.end(), zeros.begin(), zeros.end());
        EXPECT_EQ(pictureFormat(file.data(), file.size(), name), format) << name << " " << start;
    }
    const Bytes png = bytesOf("\x89PNG\r\n\x1a\n");
    EXPECT_EQ(pictureFormat(png.data(), png.size(), ""), PictureFormat::png);
}

// The demo's own kind of bitmap is handed over as it is; only that kind.
TEST(Format, IsAPlainBitmapWith24BitsAndNoCompressionOnly) {
    const Bytes plain = bitmap(1, 1, {0, 0, 255, 0});
    EXPECT_TRUE(isPlainBitmap(plain.data(), plain.size()));
    const auto changed = [&](std::size_t at, std::uint8_t value) {
        Bytes bytes = plain;
        bytes[at] = value;
        return isPlainBitmap(bytes.data(), bytes.size());
    };
    EXPECT_FALSE(changed(0, 'b')) << "no signature";
    EXPECT_FALSE(changed(14, 12)) << "an OS/2 header";
    EXPECT_FALSE(changed(28, 32)) << "32 bits a pixel";
    EXPECT_FALSE(changed(30, 1)) << "compressed";
    EXPECT_FALSE(changed(33, 1)) << "compressed, in the last byte";
    EXPECT_FALSE(isPlainBitmap(plain.data(), 33)) << "cut before the compression";
}

// Rows where a larger header put them come up to the 54-byte header; the
// rest stays as it is.
TEST(Format, MovesABitmapsRowsUpToItsHeader) {
    const Bytes plain = bitmap(1, 1, {0, 0, 255, 0});
    EXPECT_EQ(withRowsAfterHeader(plain), plain);
    Bytes larger = bitmap(1, 1, {0, 0, 255, 0}, 24, 138);
    larger.insert(larger.begin() + 54, 84, 7);
    EXPECT_EQ(withRowsAfterHeader(larger), plain);
    const Bytes cut(larger.begin(), larger.begin() + 100);
    EXPECT_EQ(withRowsAfterHeader(cut), Bytes(plain.begin(), plain.begin() + 54));
    const Bytes png(60, 0x89);
    EXPECT_EQ(withRowsAfterHeader(png), png);
}

}  // namespace
