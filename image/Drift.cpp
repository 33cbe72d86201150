#include "image/Drift.h"

#include <cstdint>
#include <cstring>

#include "image/Image.h"

namespace {

// The word whose bytes in memory are r, g, b, a, whatever the machine's byte order.
std::uint32_t bytesAsWord(unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
    const unsigned char bytes[4] = {r, g, b, a};
    std::uint32_t word;
    std::memcpy(&word, bytes, 4);
    return word;
}

}  // namespace

void Image::drift() {
    drift(Noise::shared());
}

void Image::drift(Noise& noise) {
    const std::size_t count = driftedPixels(*this);
    if (count == 0) {
        return;
    }
    std::size_t done = 0;
#ifdef ORVALIS_NOISE_AVX2
    static const bool avx2 = cpuHasAvx2();
    if (avx2) {
        done = driftAvx2(pixels, count, noise);
    }
#endif
    driftPortable(pixels + 4 * done, count - done, noise);
}

std::size_t driftedPixels(const Image& image) {
    const std::int64_t count = std::int64_t{image.width} * image.height - 8;
    return image.pixels && count > 0 ? std::size_t(count) : 0;
}

// Going forwards, the pixels each one takes from are still unchanged, so one
// pass in place does it. The pixel is handled as one 32-bit word, so the shift
// is two masks and an or; words are read and written through memcpy, which
// compiles to plain loads and stores. The work runs inside the noise
// generator's loop, so that the compiler makes one vector loop of both, four
// pixels at a time with the SSE2 that every x86-64 has.
void driftPortable(unsigned char* pixels, std::size_t count, Noise& noise) {
    const std::uint32_t redBlue = bytesAsWord(0xFF, 0, 0xFF, 0);
    const std::uint32_t green = bytesAsWord(0, 0xFF, 0, 0);
    const std::uint32_t alpha = bytesAsWord(0, 0, 0, 0xFF);
    const std::uint32_t alphaOne = bytesAsWord(0, 0, 0, 1);
    noise.forEach(count, [=](std::size_t k, std::uint32_t value) {
        unsigned char* p = pixels + 4 * k;
        std::uint32_t next, afterNext;
        std::memcpy(&next, p + 4, 4);
        std::memcpy(&afterNext, p + 8, 4);
        // The alpha is value % 255. With value = 255 q + rest, value + q = 256 q
        // + rest has that same lowest byte, and costs an add where the
        // remainder costs a multiply and a subtraction; the mask keeps only
        // that byte, moved into the alpha place.
        const std::uint32_t newAlpha = (value + value / 255) * alphaOne & alpha;
        const std::uint32_t pixel = (afterNext & redBlue) | (next & green) | newAlpha;
        std::memcpy(p, &pixel, 4);
    });
}

#ifdef ORVALIS_NOISE_AVX2

// driftPortable's loop eight pixels at a time, written out for AVX2, which
// the compiler may not assume of every x86-64. Twice the width halves the
// vector work per pixel, and with the noise kept in registers too (see
// Noise::forEachEight) the drift takes little more than half the time. x86
// stores words low byte first, so alpha is the top byte of each 32-bit lane.
ORVALIS_TARGET("avx2")
std::size_t driftAvx2(unsigned char* pixels, std::size_t count, Noise& noise) {
    const __m256i redBlue = _mm256_set1_epi32(0x00FF00FF);
    const __m256i green = _mm256_set1_epi32(0x0000FF00);
    // value / 255 is (value * 0x80808081) >> 39 for any 32-bit value.
    const __m256i inverse255 = _mm256_set1_epi32(int(0x80808081u));
    const std::size_t blocks = count / 8;
    noise.forEachEight(blocks, [=](std::size_t k, __m256i values) ORVALIS_TARGET("avx2") {
        unsigned char* p = pixels + 32 * k;
        const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 4));
        const __m256i afterNext = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 8));
        // The multiply takes the even lanes' 32 bits and gives 64; the odd
        // lanes are shifted down to be multiplied, and their quotients shifted
        // only as far as the odd lanes' place, where the blend picks them.
        const __m256i evenQuotients = _mm256_srli_epi64(_mm256_mul_epu32(values, inverse255), 39);
        const __m256i oddQuotients =
            _mm256_srli_epi64(_mm256_mul_epu32(_mm256_srli_epi64(values, 32), inverse255), 7);
        const __m256i quotients = _mm256_blend_epi32(evenQuotients, oddQuotients, 0xAA);
        // The lowest byte of value + value / 255 is value % 255, as above.
        const __m256i alphas = _mm256_slli_epi32(_mm256_add_epi32(values, quotients), 24);
        const __m256i colours =
            _mm256_or_si256(_mm256_and_si256(afterNext, redBlue), _mm256_and_si256(next, green));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm256_or_si256(colours, alphas));
    });
    return 8 * blocks;
}

#endif
