#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

// The C library's default rand() sequence, the values a process gets from
// rand() when nothing calls srand, produced without the call and its lock.
// Where the C library is not glibc it calls rand() itself.
class Noise {
  public:
    // At the start of the default sequence.
    Noise();

    // Calls use(k, value) for k = 0 to count - 1 in order, where value is what
    // the k-th of the next count rand() calls would return.
    template <class Use>
    void forEach(std::size_t count, Use use);

    // The one generator of the process: every frame continues where the last
    // one stopped, as successive rand() calls would.
    static Noise& shared();

  private:
    // glibc's generator looks back 31 values; unrolled, 40 (see forEach).
    static constexpr std::size_t kLag = 40;
    std::uint32_t history[kLag];  // the latest kLag values, oldest first
};

#if defined(__GLIBC__)

// glibc keeps r[i] = r[i-31] + r[i-3] mod 2^32 and returns r[i] >> 1. That rule
// chains each value to the one three places back, so no handful of neighbours
// can be summed at once. Putting the rule into r[i-3], r[i-6] and r[i-9] in
// turn gives r[i] = r[i-12] + r[i-31] + r[i-34] + r[i-37] + r[i-40]: twelve
// neighbouring values depend on none of each other, and the compiler sums four
// at a time in vector registers. The nearest lag is a multiple of four on
// purpose: each group of four then reads back exactly a group written three
// steps before, which the processor forwards from its store buffer, where a
// group straddling two recent writes (lag 9, say) stalls and costs three times
// as much. The loop is inline with use() in its body, so that the caller's
// work on each value joins the same vector loop, and it runs in chunks whose
// values stay in the L1 cache.
template <class Use>
void Noise::forEach(std::size_t count, Use use) {
    constexpr std::size_t kChunk = 2048;
    std::uint32_t r[kLag + kChunk];
    for (std::size_t done = 0; done < count; done += kChunk) {
        const std::size_t n = std::min(count - done, kChunk);
        std::copy(history, history + kLag, r);
        for (std::size_t i = kLag; i < kLag + n; ++i) {
            r[i] = r[i - 12] + r[i - 31] + r[i - 34] + r[i - 37] + r[i - 40];
            use(done + i - kLag, r[i] >> 1);
        }
        std::copy(r + n, r + n + kLag, history);
    }
}

#else

template <class Use>
void Noise::forEach(std::size_t count, Use use) {
    for (std::size_t k = 0; k < count; ++k) {
        use(k, std::uint32_t(std::rand()));
    }
}

#endif
