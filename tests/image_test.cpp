#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/Image.h"
#include "tests/bitmap_file.h"

namespace {

using Rgba = std::array<int, 4>;

Rgba pixelAt(const Image& image, int x, int row) {
    const unsigned char* p = image.pixels + 4 * (std::size_t(row) * image.width + x);
    return {p[0], p[1], p[2], p[3]};
}

// Loads bytes through the real file path, as the program does.
bool load(Image& image, const Bytes& bytes) {
    return image.loadBitmap(TempFile(bytes).path());
}

// A picture whose every pixel has its own colour: pixel k (counted from the
// start of the buffer) is R = 3k + 1, G = 5k + 2, B = 7k + 3, all mod 256.
Bytes countingBitmap(int width, int height) {
    Bytes rows;
    for (int k = 0; k < width * height; ++k) {
        rows.insert(rows.end(),
                    {std::uint8_t(7 * k + 3), std::uint8_t(5 * k + 2), std::uint8_t(3 * k + 1)});
        if ((k + 1) % width == 0) {
            rows.insert(rows.end(), std::size_t(width % 4), 0xEE);
        }
    }
    return bitmap(width, height, rows);
}

std::vector<unsigned char> snapshot(const Image& image) {
    return {image.pixels, image.pixels + std::size_t(image.width) * image.height * 4};
}

class ImageTest : public ::testing::Test {
  protected:
    Image image{TempFile(bitmap(1, 1, {0, 0, 0, 0})).path()};
};

TEST_F(ImageTest, ReadsRowsInFileOrderAsRgbaSkippingPadding) {
    // File rows come bottom row first, each pixel as blue, green, red.
    for (int width = 1; width <= 4; ++width) {
        SCOPED_TRACE(width);
        ASSERT_TRUE(load(image, countingBitmap(width, 3)));
        for (int k = 0; k < width * 3; ++k) {
            EXPECT_EQ(pixelAt(image, k % width, k / width),
                      (Rgba{(3 * k + 1) % 256, (5 * k + 2) % 256, (7 * k + 3) % 256, 255}));
        }
    }
}

// Files of hundreds of kilobytes arrive in several reads, which end inside
// rows, pixels and padding; the picture must come out as from one read.
TEST_F(ImageTest, LargeFilesLoadAcrossReadsWithNothingLostOrShifted) {
    const std::array<int, 2> sizes[] = {{5, 20000}, {7, 10000}, {1030, 100}};
    for (const auto& [width, rows] : sizes) {
        for (bool topDown : {false, true}) {
            SCOPED_TRACE(testing::Message() << width << " x " << rows << ", top-down " << topDown);
            Bytes file = countingBitmap(width, rows);
            // Pixel k of the buffer, as countingBitmap makes it.
            std::vector<unsigned char> expected;
            for (int k = 0; k < width * rows; ++k) {
                expected.insert(expected.end(), {std::uint8_t(3 * k + 1), std::uint8_t(5 * k + 2),
                                                 std::uint8_t(7 * k + 3), 255});
            }
            if (topDown) {
                // The same bytes read as top row first: the buffer's rows reverse.
                for (int i = 0; i < 4; ++i) {
                    file[22 + i] = std::uint8_t(std::uint32_t(-rows) >> (8 * i));
                }
                std::vector<unsigned char> flipped;
                for (int row = rows - 1; row >= 0; --row) {
                    const auto start = expected.begin() + std::ptrdiff_t(4) * width * row;
                    flipped.insert(flipped.end(), start, start + 4 * width);
                }
                expected = flipped;
            }
            ASSERT_TRUE(load(image, file));
            const auto actual = snapshot(image);
            ASSERT_EQ(actual.size(), expected.size());
            const auto wrong = std::mismatch(actual.begin(), actual.end(), expected.begin());
            EXPECT_EQ(std::size_t(wrong.first - actual.begin()), actual.size())
                << "index of the first wrong byte";
        }
    }
}

TEST_F(ImageTest, TopDownFileStillLoadsBottomRowFirst) {
    ASSERT_TRUE(load(image, bitmap(1, -2, {10, 20, 30, 0, 40, 50, 60, 0})));
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(pixelAt(image, 0, 0), (Rgba{60, 50, 40, 255}));
    EXPECT_EQ(pixelAt(image, 0, 1), (Rgba{30, 20, 10, 255}));
}

TEST_F(ImageTest, RowsStartAtDataOffsetWhenAboveHeaderSize) {
    Bytes gapThenPixel(20, 0x99);
    std::copy_n(Bytes{1, 2, 3, 0}.begin(), 4, gapThenPixel.begin() + 16);
    ASSERT_TRUE(load(image, bitmap(1, 1, gapThenPixel, 24, 70)));
    EXPECT_EQ(pixelAt(image, 0, 0), (Rgba{3, 2, 1, 255}));

    // An offset at or below the header size is not trusted: rows follow the header.
    for (std::uint32_t offset : {0u, 26u, 54u}) {
        ASSERT_TRUE(load(image, bitmap(1, 1, {1, 2, 3, 0}, 24, offset)));
        EXPECT_EQ(pixelAt(image, 0, 0), (Rgba{3, 2, 1, 255})) << offset;
    }
}

TEST_F(ImageTest, FileEndingEarlyReadsMissingBytesAsFF) {
    ASSERT_TRUE(load(image, bitmap(2, 2, {1, 2, 3, 4})));
    EXPECT_EQ(pixelAt(image, 0, 0), (Rgba{3, 2, 1, 255}));
    EXPECT_EQ(pixelAt(image, 1, 0), (Rgba{0xFF, 0xFF, 4, 255}));
    EXPECT_EQ(pixelAt(image, 0, 1), (Rgba{0xFF, 0xFF, 0xFF, 255}));
    EXPECT_EQ(pixelAt(image, 1, 1), (Rgba{0xFF, 0xFF, 0xFF, 255}));
}

TEST_F(ImageTest, FileEndingAnywhereLoadsLikeOnePaddedWithFF) {
    for (int width = 1; width <= 4; ++width) {
        for (bool topDown : {false, true}) {
            SCOPED_TRACE(testing::Message() << width << " x 3, top-down " << topDown);
            Bytes whole = countingBitmap(width, 3);
            if (topDown) {
                whole[22] = 0xFD;  // height -3, little-endian
                std::fill_n(whole.begin() + 23, 3, 0xFF);
            }
            for (std::size_t cut = 54; cut < whole.size(); ++cut) {
                Bytes padded(whole.begin(), whole.begin() + cut);
                const Bytes shortFile = padded;
                padded.resize(whole.size(), 0xFF);
                ASSERT_TRUE(load(image, padded));
                const auto expected = snapshot(image);
                ASSERT_TRUE(load(image, shortFile));
                EXPECT_EQ(snapshot(image), expected) << "file cut to " << cut << " bytes";
            }
        }
    }
}

TEST_F(ImageTest, DataOffsetPastTheEndLoadsAllFF) {
    const Bytes bytes = bitmap(3, 2, countingBitmap(3, 2), 24, 4096);
    const std::vector<unsigned char> allFF(3 * 2 * 4, 0xFF);
    ASSERT_TRUE(load(image, bytes));
    EXPECT_EQ(snapshot(image), allFF);

    // An in-memory file refuses the seek a file on disk allows; the picture is the same.
    std::FILE* inMemory = fmemopen(const_cast<std::uint8_t*>(bytes.data()), bytes.size(), "rb");
    ASSERT_TRUE(image.loadBitmap(inMemory));
    std::fclose(inMemory);
    EXPECT_EQ(snapshot(image), allFF);
}

TEST_F(ImageTest, RejectsWhatItCannotHold) {
    const Bytes onePixel{1, 2, 3, 0};
    Bytes badSignature = bitmap(1, 1, onePixel);
    badSignature[1] = 'A';
    Bytes headerCutShort = bitmap(1, 1, {});
    headerCutShort.pop_back();
    const struct {
        const char* what;
        Bytes bytes;
    } rejected[] = {
        {"bad signature", badSignature},
        {"header cut short", headerCutShort},
        {"empty file", {}},
        {"8-bit", bitmap(1, 1, onePixel, 8)},
        {"32-bit", bitmap(1, 1, onePixel, 32)},
        {"zero width", bitmap(0, 1, onePixel)},
        {"negative width", bitmap(-1, 1, onePixel)},
        {"zero height", bitmap(1, 0, onePixel)},
        {"2^29 pixels, 2^31 bytes", bitmap(1 << 15, 1 << 14, onePixel)},
        {"same, top-down", bitmap(1 << 15, -(1 << 14), onePixel)},
        {"64-bit overflow of width * height", bitmap(0x7FFFFFFF, 0x7FFFFFFF, onePixel)},
        {"most negative height", bitmap(1, INT32_MIN, onePixel)},
    };
    for (const auto& c : rejected) {
        ASSERT_TRUE(load(image, bitmap(1, 1, onePixel)));
        EXPECT_FALSE(load(image, c.bytes)) << c.what;
        EXPECT_EQ(image.pixels, nullptr) << c.what;
    }
    EXPECT_FALSE(image.loadBitmap("no/such/file.bmp"));
    EXPECT_FALSE(image.loadBitmap(static_cast<std::FILE*>(nullptr)));
    EXPECT_EQ(image.pixels, nullptr);
}

TEST(ImageMessage, ConstructorPrintsExactlyOneLineOnFailureOnly) {
    ::testing::internal::CaptureStdout();
    Image missing("no/such/file.bmp");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Error loading texture!\n");

    TempFile good(bitmap(1, 1, {1, 2, 3, 0}));
    ::testing::internal::CaptureStdout();
    Image loaded(good.path());
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_NE(loaded.pixels, nullptr);
}

TEST_F(ImageTest, DriftShiftsRedAndBlueTwoGreenOneAndKeepsLastEightPixels) {
    for (auto [width, height] : {std::pair{3, 5}, {17, 9}, {4, 3}}) {
        SCOPED_TRACE(testing::Message() << width << " x " << height);
        ASSERT_TRUE(load(image, countingBitmap(width, height)));
        const int count = width * height - 8;
        for (int frame = 0; frame < 3; ++frame) {
            const auto old = snapshot(image);
            image.drift();
            for (int k = 0; k < width * height; ++k) {
                const unsigned char* p = image.pixels + 4 * k;
                const unsigned char* before = old.data() + 4 * k;
                if (k < count) {
                    EXPECT_EQ(p[0], before[8]) << k;
                    EXPECT_EQ(p[1], before[5]) << k;
                    EXPECT_EQ(p[2], before[10]) << k;
                    EXPECT_LT(p[3], 255) << k;
                } else {
                    EXPECT_EQ(0, std::memcmp(p, before, 4)) << k;
                }
            }
        }
    }
}

TEST_F(ImageTest, DriftLeavesPicturesOfEightPixelsOrFewerAlone) {
    for (auto [width, height] : {std::pair{1, 1}, {2, 4}, {8, 1}}) {
        ASSERT_TRUE(load(image, countingBitmap(width, height)));
        const auto old = snapshot(image);
        image.drift();
        EXPECT_EQ(snapshot(image), old) << width << " x " << height;
    }
    ASSERT_TRUE(load(image, countingBitmap(3, 3)));
    auto expected = snapshot(image);
    image.drift();
    std::copy_n(image.pixels, 4, expected.begin());
    EXPECT_EQ(snapshot(image), expected) << "3 x 3 rewrites pixel 0 only";
}

TEST_F(ImageTest, DriftWithoutPictureTouchesNothing) {
    ASSERT_FALSE(image.loadBitmap("no/such/file.bmp"));
    image.width = 64;
    image.height = 64;
    image.drift();
    EXPECT_EQ(image.pixels, nullptr);
}

// Outside the ImageTest suite so that runs under valgrind can leave it out by name.
TEST(ImageLoadSpeed, HugeClaimWithFewBytesFillsTheRestInOneGo) {
#ifdef ORVALIS_SANITIZE
    GTEST_SKIP() << "timing means nothing under the sanitizers";
#endif
    constexpr int kSide = 8192;
    const TempFile file(bitmap(kSide, kSide, Bytes(16, 0x40)));
    Image image;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(image.loadBitmap(file.path()));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    // Measured at about a tenth of a second; the bound leaves room for a busy machine.
    EXPECT_LT(took.count(), 1.0);

    const std::size_t bytes = std::size_t(kSide) * kSide * 4;
    EXPECT_EQ(pixelAt(image, 0, 0), (Rgba{0x40, 0x40, 0x40, 255}));
    EXPECT_EQ(pixelAt(image, 5, 0), (Rgba{0xFF, 0xFF, 0x40, 255}));
    EXPECT_EQ(std::size_t(std::count(image.pixels + 4 * 6, image.pixels + bytes, 0xFF)),
              bytes - 4 * 6);
}

}  // namespace
