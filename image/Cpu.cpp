#include "image/Cpu.h"

#ifdef ORVALIS_X86

// The C library that MSVC-compatible compilers link with (MSVC, clang-cl,
// clang for *-windows-msvc) has none of the processor model data that
// __builtin_cpu_supports reads, so there the processor is asked directly.
#if defined(_MSC_VER)

#include <intrin.h>

namespace {

// Bit `bit` of register `reg` (0 to 3: EAX, EBX, ECX, EDX) of CPUID leaf `leaf`.
bool cpuid(int leaf, int reg, int bit) {
    int registers[4];
    __cpuidex(registers, leaf, 0);
    return (registers[reg] >> bit & 1) != 0;
}

}  // namespace

bool cpuHasSsse3() {
    return cpuid(1, 2, 9);
}

// AVX2 also needs the system to save the 256-bit registers on a task switch:
// OSXSAVE says XGETBV is there, and XCR0's bits 1 and 2 that it does.
bool cpuHasAvx2() {
    return cpuid(1, 2, 27) && cpuid(1, 2, 28) && (_xgetbv(0) & 6) == 6 && cpuid(7, 1, 5);
}

#else

bool cpuHasSsse3() {
    return __builtin_cpu_supports("ssse3");
}

bool cpuHasAvx2() {
    return __builtin_cpu_supports("avx2");
}

#endif

#endif
