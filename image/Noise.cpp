#include "image/Noise.h"

#include <algorithm>

#ifdef ORVALIS_NOISE_GLIBC

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

#elif defined(ORVALIS_NOISE_MICROSOFT)

// The state before the first call is 1. The states before that, which only
// serve as the history the first values are worked out from, come from
// running the generator backwards: the multiplier is odd, so it has an
// inverse mod 2^32, which each Newton step x(2 - a x) gets right to twice as
// many low bits, from the three that a itself gets right.
Noise::Noise() {
    std::uint32_t inverse = microsoft::kMultiplier;
    for (int i = 0; i < 4; ++i) {
        inverse *= 2 - microsoft::kMultiplier * inverse;
    }
    history[kLag - 1] = 1;
    for (std::size_t i = kLag - 1; i > 0; --i) {
        history[i - 1] = inverse * (history[i] - microsoft::kIncrement);
    }
}

#else

// Other C libraries have generators of their own: forEach asks theirs.
Noise::Noise() = default;

#endif

Noise& Noise::shared() {
    static Noise noise;
    return noise;
}
