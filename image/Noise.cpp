#include "image/Noise.h"

#include <algorithm>

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

#else

// Other C libraries have generators of their own: forEach asks theirs.
Noise::Noise() : history{} {}

#endif

Noise& Noise::shared() {
    static Noise noise;
    return noise;
}
