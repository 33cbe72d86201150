#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <vector>

#include "image/Drift.h"
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

// Checks the values against as many rand() calls, counting them in total.
void expectRandValues(const std::vector<std::uint32_t>& actual, std::size_t& total) {
    std::vector<std::uint32_t> expected(actual.size());
    for (std::uint32_t& value : expected) {
        value = std::uint32_t(std::rand());
    }
    const std::size_t at = firstDifference(actual, expected);
    ASSERT_EQ(at, actual.size()) << "value " << total + at << ": " << actual[at] << " instead of "
                                 << expected[at];
    total += actual.size();
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
            std::vector<std::uint32_t> actual(size);
            noise.forEach(size, [&](std::size_t k, std::uint32_t value) { actual[k] = value; });
            ASSERT_NO_FATAL_FAILURE(expectRandValues(actual, total));
        }
    }
}

#ifdef ORVALIS_NOISE_AVX2
// Copies the eight lanes into values at 8 * k; compiled for AVX2 like every
// caller of forEachEight.
__attribute__((target("avx2"))) void drawEights(Noise& noise, std::vector<std::uint32_t>& values) {
    noise.forEachEight(
        values.size() / 8, [&](std::size_t k, __m256i eight) __attribute__((target("avx2"))) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(&values[8 * k]), eight);
        });
}
#endif

TEST(Noise, EightAtATimeGivesWhatRandGivesAndContinuesOneAtATime) {
#ifndef ORVALIS_NOISE_AVX2
    GTEST_SKIP() << "no eight-at-a-time form here";
#else
    if (!hasAvx2()) {
        GTEST_SKIP() << "this processor has no AVX2";
    }
    // Blocks of eight in runs of one up to past the 40 values kept between
    // calls, with single values between the runs, which move the blocks off
    // every multiple of eight.
    const std::size_t blockRuns[] = {1, 2, 4, 5, 6, 255, 4096, 20001};
    const std::size_t singleRuns[] = {1, 3, 7, 8, 2049};
    Noise noise;
    std::srand(1);
    std::size_t total = 0;
    while (total < 10'000'000) {
        for (std::size_t i = 0; i < std::size(blockRuns); ++i) {
            std::vector<std::uint32_t> eights(8 * blockRuns[i]);
            drawEights(noise, eights);
            ASSERT_NO_FATAL_FAILURE(expectRandValues(eights, total));
            std::vector<std::uint32_t> singles(singleRuns[i % std::size(singleRuns)]);
            noise.forEach(singles.size(),
                          [&](std::size_t k, std::uint32_t value) { singles[k] = value; });
            ASSERT_NO_FATAL_FAILURE(expectRandValues(singles, total));
        }
    }
#endif
}

// The drift as the program runs it, and its portable loop alone, which the
// program leaves to processors without AVX2 and to the last few pixels.
enum class Path { AsThePictureDrifts, PortableLoopAlone };

void driftFrame(Image& image, Noise& noise, Path path) {
    if (path == Path::AsThePictureDrifts) {
        image.drift(noise);
        return;
    }
    driftPortable(image.pixels, driftedPixels(image), noise);
}

// Runs frames of the drift along each path with a fresh generator, and of the
// straightforward loop with rand() from its default seed, and compares every
// frame.
void expectDriftMatchesReference(int width, int height, int frames) {
    for (Path path : {Path::AsThePictureDrifts, Path::PortableLoopAlone}) {
        SCOPED_TRACE(testing::Message() << width << " x " << height << ", path " << int(path));
        Image image;
        loadPattern(image, width, height);
        Buffer expected = snapshot(image);

        // Each side runs from the sequence's start, in turn: where Noise falls
        // back on rand() the two must not draw from it interleaved.
        std::vector<Buffer> driftFrames;
        Noise noise;
        std::srand(1);
        for (int frame = 0; frame < frames; ++frame) {
            driftFrame(image, noise, path);
            driftFrames.push_back(snapshot(image));
        }
        std::srand(1);
        for (int frame = 0; frame < frames; ++frame) {
            referenceDrift(expected.data(), std::int64_t{width} * height);
            EXPECT_EQ(firstDifference(driftFrames[frame], expected), expected.size())
                << "frame " << frame;
        }
    }
}

TEST(Drift, MatchesTheStraightforwardLoopByteForByte) {
    const std::pair<int, int> sizes[] = {{1, 1}, {2, 4}, {3, 3}, {3, 5}, {17, 1023}, {1024, 1024}};
    for (auto [width, height] : sizes) {
        expectDriftMatchesReference(width, height, 3);
    }
}

// The portable loop takes 2048 pixels a chunk, the AVX2 one eight at a time;
// 2056 pixels drift exactly one chunk, and 16 exactly one group of eight.
TEST(Drift, MatchesAroundTheChunkAndGroupEdges) {
    {
        // One pixel short of a chunk, and of 256 groups.
        expectDriftMatchesReference(1, 2055, 2);
    }
    {
        // Exactly one chunk.
        expectDriftMatchesReference(8, 257, 2);
    }
    {
        // One pixel into the second chunk.
        expectDriftMatchesReference(1, 2057, 2);
    }
    {
        // Exactly one group; 3 x 5 above is one pixel short of it.
        expectDriftMatchesReference(4, 4, 2);
    }
    {
        // One pixel past one group.
        expectDriftMatchesReference(1, 17, 2);
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
