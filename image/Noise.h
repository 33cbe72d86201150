#pragma once

#include <cstddef>
#include <cstdint>

// The C library's default rand() sequence, the values a process gets from
// rand() when nothing calls srand, produced many at a time and without the
// call and its lock. Where the C library is not glibc it calls rand() itself.
class Noise {
  public:
    // At the start of the default sequence.
    Noise();

    // Writes the next count values of the sequence, each what rand() would return.
    void next(std::uint32_t* out, std::size_t count);

    // The one generator of the process: every frame continues where the last
    // one stopped, as successive rand() calls would.
    static Noise& shared();

  private:
    // glibc's generator looks back 34 values; unrolled, 37 (see next()).
    static constexpr std::size_t kLag = 37;
    std::uint32_t history[kLag];  // the latest kLag values, oldest first
};
