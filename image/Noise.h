#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "image/Cpu.h"

// Whose rand() the noise follows. glibc's generator and the Microsoft C
// runtime's (msvcrt.dll, the UCRT and Wine's msvcrt share it) are computed
// here; any other C library's rand() is called.
#if defined(__GLIBC__)
#define ORVALIS_NOISE_GLIBC
#elif defined(_WIN32)
#define ORVALIS_NOISE_MICROSOFT
#endif

// Where the sequence is computed here and the processor may be an x86, the
// values can also come eight at a time in AVX2 registers (forEachEight);
// whether this processor has AVX2 is for the caller to ask at run time.
#if (defined(ORVALIS_NOISE_GLIBC) || defined(ORVALIS_NOISE_MICROSOFT)) && defined(ORVALIS_X86)
#define ORVALIS_NOISE_AVX2
#endif

#ifdef ORVALIS_NOISE_MICROSOFT

namespace microsoft {

// rand() keeps a state s, from 1, and each call makes it 214013 s + 2531011
// mod 2^32 and returns its bits 16 to 30.
constexpr std::uint32_t kMultiplier = 214013;
constexpr std::uint32_t kIncrement = 2531011;

// Any number of steps at once is one step too: s[i] = a s[i-steps] + c, with
// a and c these two.
constexpr std::uint32_t multiplierOfSteps(std::size_t steps) {
    std::uint32_t a = 1;
    for (std::size_t i = 0; i < steps; ++i) {
        a *= kMultiplier;
    }
    return a;
}
constexpr std::uint32_t incrementOfSteps(std::size_t steps) {
    std::uint32_t c = 0;
    for (std::size_t i = 0; i < steps; ++i) {
        c = c * kMultiplier + kIncrement;
    }
    return c;
}

}  // namespace microsoft

#endif

// The C library's default rand() sequence, the values a process gets from
// rand() when nothing calls srand, produced without the call and its lock.
class Noise {
  public:
    // At the start of the default sequence.
    Noise();

    // Calls use(k, value) for k = 0 to count - 1 in order, where value is what
    // the k-th of the next count rand() calls would return.
    template <class Use>
    void forEach(std::size_t count, Use use);

#ifdef ORVALIS_NOISE_AVX2
    // The same sequence eight values at a time, for loops written for AVX2:
    // calls use(k, values) for k = 0 to blocks - 1 in order, where values holds
    // the next eight values, the first in the lowest lane. Calls of forEach and
    // forEachEight continue one another. Only for processors that have AVX2;
    // use must be compiled for AVX2 too, to be inlined.
    template <class Use>
    ORVALIS_TARGET("avx2")
    void forEachEight(std::size_t blocks, Use use);
#endif

    // The one generator of the process: every frame continues where the last
    // one stopped, as successive rand() calls would.
    static Noise& shared();

#if defined(ORVALIS_NOISE_GLIBC) || defined(ORVALIS_NOISE_MICROSOFT)
  private:
#ifdef ORVALIS_NOISE_GLIBC
    // glibc's generator looks back 31 values; unrolled, 40 (see below).
    static constexpr std::size_t kLag = 40;
#else
    // The Microsoft generator looks back one value; unrolled, 32 (see below):
    // s[i] = kJumpMultiplier s[i - kLag] + kJumpIncrement.
    static constexpr std::size_t kLag = 32;
    static constexpr std::uint32_t kJumpMultiplier = microsoft::multiplierOfSteps(kLag);
    static constexpr std::uint32_t kJumpIncrement = microsoft::incrementOfSteps(kLag);
#endif
    // The generator's next state, from the kLag states before it, which end
    // just before `at`; and what rand() returns for that state.
    static std::uint32_t next(const std::uint32_t* at);
    static std::uint32_t value(std::uint32_t state);

    std::uint32_t history[kLag];  // the latest kLag states, oldest first
#endif
};

#ifdef ORVALIS_NOISE_GLIBC

// glibc keeps r[i] = r[i-31] + r[i-3] mod 2^32 and returns r[i] >> 1. That rule
// chains each value to the one three places back, so no handful of neighbours
// can be summed at once. Putting the rule into r[i-3], r[i-6] and r[i-9] in
// turn gives r[i] = r[i-12] + r[i-31] + r[i-34] + r[i-37] + r[i-40]: twelve
// neighbouring values depend on none of each other, and the compiler sums four
// at a time in vector registers. The nearest lag is a multiple of four on
// purpose: each group of four then reads back exactly a group written three
// steps before, which the processor forwards from its store buffer, where a
// group straddling two recent writes (lag 9, say) stalls and costs three times
// as much.
inline std::uint32_t Noise::next(const std::uint32_t* at) {
    return at[-12] + at[-31] + at[-34] + at[-37] + at[-40];
}

inline std::uint32_t Noise::value(std::uint32_t state) {
    return state >> 1;
}

#ifdef ORVALIS_NOISE_AVX2

// forEach's recurrence with eight values to a register. The values twelve
// back are the upper half of the block two back and the lower half of the
// block before it, so one swap of 128-bit halves makes them. The older terms
// lie across neighbouring blocks too, and are pieced together the same way,
// with a swap and a byte align each, from the last five blocks kept in
// registers. Loaded from memory instead, each would span two recent stores,
// which the processor cannot forward, and wait until both reached the cache:
// the drift took a quarter longer so, and three times as long with the values
// twelve back loaded too, as the compiler does with forEach built for AVX2.
template <class Use>
ORVALIS_TARGET("avx2")
void Noise::forEachEight(std::size_t blocks, Use use) {
    static_assert(kLag == 40, "the registers below hold exactly the last 40 values");
    __m256i* const saved = reinterpret_cast<__m256i*>(history);
    // For the block of r[i] to r[i+7]: back40 holds r[i-40] to r[i-33], back32
    // r[i-32] to r[i-25], and so on; swapped36 holds r[i-36] to r[i-29], the
    // upper half of back40 and the lower half of back32, and so on.
    __m256i back40 = _mm256_loadu_si256(saved);
    __m256i back32 = _mm256_loadu_si256(saved + 1);
    __m256i back24 = _mm256_loadu_si256(saved + 2);
    __m256i back16 = _mm256_loadu_si256(saved + 3);
    __m256i back8 = _mm256_loadu_si256(saved + 4);
    __m256i swapped36 = _mm256_permute2x128_si256(back40, back32, 0x21);
    __m256i swapped28 = _mm256_permute2x128_si256(back32, back24, 0x21);
    __m256i swapped20 = _mm256_permute2x128_si256(back24, back16, 0x21);
    for (std::size_t k = 0; k < blocks; ++k) {
        const __m256i swapped12 = _mm256_permute2x128_si256(back16, back8, 0x21);
        // The byte align works within each 128-bit half, taking the half
        // from one register and the one four values on from the other.
        const __m256i back31 = _mm256_alignr_epi8(swapped28, back32, 4);
        const __m256i back34 = _mm256_alignr_epi8(back32, swapped36, 8);
        const __m256i back37 = _mm256_alignr_epi8(swapped36, back40, 12);
        const __m256i older =
            _mm256_add_epi32(_mm256_add_epi32(back31, back34), _mm256_add_epi32(back37, back40));
        const __m256i block = _mm256_add_epi32(swapped12, older);
        use(k, _mm256_srli_epi32(block, 1));
        back40 = back32;
        back32 = back24;
        back24 = back16;
        back16 = back8;
        back8 = block;
        swapped36 = swapped28;
        swapped28 = swapped20;
        swapped20 = swapped12;
    }
    _mm256_storeu_si256(saved, back40);
    _mm256_storeu_si256(saved + 1, back32);
    _mm256_storeu_si256(saved + 2, back24);
    _mm256_storeu_si256(saved + 3, back16);
    _mm256_storeu_si256(saved + 4, back8);
}

#endif

#endif

#ifdef ORVALIS_NOISE_MICROSOFT

// One step at a time, each state waits for the multiply of the one before it.
// Thirty-two steps at once make every state depend on the one 32 places back
// instead, so that 32 neighbouring states, four vector registers of eight or
// eight of four, are worked out side by side.
inline std::uint32_t Noise::next(const std::uint32_t* at) {
    return kJumpMultiplier * at[-std::ptrdiff_t{kLag}] + kJumpIncrement;
}

inline std::uint32_t Noise::value(std::uint32_t state) {
    return state >> 16 & 0x7FFF;
}

#ifdef ORVALIS_NOISE_AVX2

// forEach's recurrence with eight states to a register: the last four blocks
// of eight stay in registers, and each new block is the oldest one stepped
// 32 times, so that four multiplies are under way at once.
template <class Use>
ORVALIS_TARGET("avx2")
void Noise::forEachEight(std::size_t blocks, Use use) {
    static_assert(kLag == 32, "the registers below hold exactly the last 32 states");
    __m256i* const saved = reinterpret_cast<__m256i*>(history);
    const __m256i multiplier = _mm256_set1_epi32(int(kJumpMultiplier));
    const __m256i increment = _mm256_set1_epi32(int(kJumpIncrement));
    const __m256i low15 = _mm256_set1_epi32(0x7FFF);
    __m256i back32 = _mm256_loadu_si256(saved);
    __m256i back24 = _mm256_loadu_si256(saved + 1);
    __m256i back16 = _mm256_loadu_si256(saved + 2);
    __m256i back8 = _mm256_loadu_si256(saved + 3);
    for (std::size_t k = 0; k < blocks; ++k) {
        const __m256i block = _mm256_add_epi32(_mm256_mullo_epi32(back32, multiplier), increment);
        use(k, _mm256_and_si256(_mm256_srli_epi32(block, 16), low15));
        back32 = back24;
        back24 = back16;
        back16 = back8;
        back8 = block;
    }
    _mm256_storeu_si256(saved, back32);
    _mm256_storeu_si256(saved + 1, back24);
    _mm256_storeu_si256(saved + 2, back16);
    _mm256_storeu_si256(saved + 3, back8);
}

#endif

#endif

#if defined(ORVALIS_NOISE_GLIBC) || defined(ORVALIS_NOISE_MICROSOFT)

// The loop is inline with use() in its body, so that the caller's work on
// each value joins the same vector loop, and it runs in chunks whose states
// stay in the L1 cache.
template <class Use>
void Noise::forEach(std::size_t count, Use use) {
    constexpr std::size_t kChunk = 2048;
    std::uint32_t states[kLag + kChunk];
    for (std::size_t done = 0; done < count; done += kChunk) {
        const std::size_t n = std::min(count - done, kChunk);
        std::copy(history, history + kLag, states);
        for (std::size_t i = kLag; i < kLag + n; ++i) {
            states[i] = next(states + i);
            use(done + i - kLag, value(states[i]));
        }
        std::copy(states + n, states + n + kLag, history);
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
