#pragma once

// The x86 instructions that a build may not assume of every processor of its
// kind, asked of the processor at run time, and the mark that a function
// using them needs.
#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#define ORVALIS_X86
#include <immintrin.h>

// GCC and clang compile AVX2 or SSSE3 intrinsics only in a function marked
// for them; MSVC compiles them anywhere, and has no such mark.
#if defined(_MSC_VER) && !defined(__clang__)
#define ORVALIS_TARGET(isa)
#else
#define ORVALIS_TARGET(isa) __attribute__((target(isa)))
#endif

bool cpuHasSsse3();
bool cpuHasAvx2();
#endif
