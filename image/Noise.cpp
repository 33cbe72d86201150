#include "image/Noise.h"

#include <algorithm>
#include <cstdlib>

#if defined(__GLIBC__)

namespace {

// glibc's rand() after the default seed 1: r[0] = 1, r[i] = 16807 r[i-1] mod
// (2^31 - 1) up to i = 30, r[i] = r[i-31] for i = 31 to 33, then r[i] = r[i-31]
// + r[i-3] mod 2^32; it throws away r[34] to r[343], and its k-th call returns
// r[344 + k] >> 1.
constexpr std::size_t kFirstOutput = 344;

}  // namespace

Noise::Noise() {
    std::uint32_t r[kFirstOutput];
    r[0] = 1;
    for (std::size_t i = 1; i < 31; ++i) {
        r[i] = std::uint32_t(16807 * std::uint64_t{r[i - 1]} % 2147483647);
    }
    for (std::size_t i = 31; i < 34; ++i) {
        r[i] = r[i - 31];
    }
    for (std::size_t i = 34; i < kFirstOutput; ++i) {
        r[i] = r[i - 31] + r[i - 3];
    }
    std::copy(r + kFirstOutput - kLag, r + kFirstOutput, history);
}

// r[i] = r[i-31] + r[i-3] chains each value to the one three places back, so
// no two of a handful of neighbours can be summed at once. Substituting the
// rule into r[i-3] twice gives r[i] = r[i-9] + r[i-31] + r[i-34] + r[i-37]:
// now the nearest input is nine places back, eight neighbouring values depend
// on none of each other, and the compiler computes them side by side in
// vector registers. Values are made in chunks that stay in the L1 cache.
void Noise::next(std::uint32_t* out, std::size_t count) {
    constexpr std::size_t kChunk = 1024;
    std::uint32_t r[kLag + kChunk];
    while (count > 0) {
        const std::size_t n = std::min(count, kChunk);
        std::copy(history, history + kLag, r);
        for (std::size_t i = kLag; i < kLag + n; ++i) {
            r[i] = r[i - 9] + r[i - 31] + r[i - 34] + r[i - 37];
        }
        for (std::size_t i = 0; i < n; ++i) {
            out[i] = r[kLag + i] >> 1;
        }
        std::copy(r + n, r + n + kLag, history);
        out += n;
        count -= n;
    }
}

#else

// Other C libraries have generators of their own: ask theirs.
Noise::Noise() : history{} {}

void Noise::next(std::uint32_t* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = std::uint32_t(std::rand());
    }
}

#endif

Noise& Noise::shared() {
    static Noise noise;
    return noise;
}
