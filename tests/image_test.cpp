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
#include "image/Noise.h"
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

}  // namespace
