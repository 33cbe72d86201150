#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "image/Image.h"
#include "image/Noise.h"
#include "tests/bitmap_file.h"
#include "tests/reference_drift.h"

namespace {

using Buffer = std::vector<unsigned char>;

// Index of the first place where the two differ; their size when they agree.
template <class T>
std::size_t firstDifference(const std::vector<T>& actual, const std::vector<T>& expected) {
    std::size_t i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) {
        ++i;
    }
    return i;
}

// Loads a width x height picture whose bytes all differ from their neighbours,
// so a shift by the wrong distance or a swapped channel shows. The file has no
// pixel bytes: it loads at full size, all 0xFF, and the pattern is written over.
void loadPattern(Image& image, int width, int height) {
    ASSERT_TRUE(image.loadBitmap(TempFile(bitmap(width, height, {})).path()));
    const std::size_t size = std::size_t(image.width) * image.height * 4;
    for (std::size_t i = 0; i < size; ++i) {
        image.pixels[i] = static_cast<unsigned char>(i * 131 + (i >> 9));
    }
}

Buffer snapshot(const Image& image) {
    return {image.pixels, image.pixels + std::size_t(image.width) * image.height * 4};
}

TEST(Noise, GivesWhatRandGivesForTenMillionValuesInCallsOfAnySize) {
#if !defined(__GLIBC__)
    GTEST_SKIP() << "Noise calls rand() itself here, so the two cannot be told apart";
#endif
    // Calls end just before, on and just past the generator's chunk of 2048
    // values and its vector steps of four and twelve, many times over.
    const std::size_t callSizes[] = {1, 3, 4, 5, 11, 12, 13, 2047, 2048, 2049, 65536, 200003};
    Noise noise;
    std::srand(1);
    std::size_t total = 0;
    while (total < 10'000'000) {
        for (std::size_t size : callSizes) {
            std::vector<std::uint32_t> actual(size), expected(size);
            noise.forEach(size, [&](std::size_t k, std::uint32_t value) { actual[k] = value; });
            for (std::uint32_t& value : expected) {
                value = std::uint32_t(std::rand());
            }
            const std::size_t at = firstDifference(actual, expected);
            ASSERT_EQ(at, size) << "value " << total + at << ": " << actual[at] << " instead of "
                                << expected[at];
            total += size;
        }
    }
}

// Runs frames of Image::drift with a fresh generator and of the straightforward
// loop with rand() from its default seed, and compares every frame.
void expectDriftMatchesReference(int width, int height, int frames) {
    SCOPED_TRACE(testing::Message() << width << " x " << height);
    Image image(TempFile(bitmap(1, 1, {})).path());
    loadPattern(image, width, height);
    Buffer expected = snapshot(image);

    // Each side runs from the sequence's start, in turn: where Noise falls back
    // on rand() the two must not draw from it interleaved.
    std::vector<Buffer> driftFrames;
    Noise noise;
    std::srand(1);
    for (int frame = 0; frame < frames; ++frame) {
        image.drift(noise);
        driftFrames.push_back(snapshot(image));
    }
    std::srand(1);
    for (int frame = 0; frame < frames; ++frame) {
        referenceDrift(expected.data(), std::int64_t{width} * height);
        EXPECT_EQ(firstDifference(driftFrames[frame], expected), expected.size())
            << "frame " << frame;
    }
}

TEST(Drift, MatchesTheStraightforwardLoopByteForByte) {
    const std::pair<int, int> sizes[] = {{1, 1}, {2, 4}, {3, 3}, {3, 5}, {17, 1023}, {1024, 1024}};
    for (auto [width, height] : sizes) {
        expectDriftMatchesReference(width, height, 3);
    }
}

// The drift takes 2048 pixels a block; 2056 pixels drift exactly one block.
TEST(Drift, MatchesAroundTheBlockEdge) {
    {
        // One pixel short of a block.
        expectDriftMatchesReference(1, 2055, 2);
    }
    {
        // Exactly one block.
        expectDriftMatchesReference(8, 257, 2);
    }
    {
        // One pixel into the second block.
        expectDriftMatchesReference(1, 2057, 2);
    }
}

TEST(Drift, WithoutAGeneratorContinuesTheProcessSequenceFrameToFrame) {
    Image image(TempFile(bitmap(1, 1, {})).path()), expected(TempFile(bitmap(1, 1, {})).path());
    loadPattern(image, 6, 5);
    loadPattern(expected, 6, 5);
    Noise continued = Noise::shared();
    for (int frame = 0; frame < 3; ++frame) {
        image.drift();
        expected.drift(continued);
        EXPECT_EQ(snapshot(image), snapshot(expected)) << frame;
    }
}

}  // namespace
