#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/picture.h"
#include "image/Drift.h"
#include "image/Image.h"
#include "image/Noise.h"
#include "tests/reference_drift.h"

namespace {

// Adds the time per pixel, which compares across picture sizes.
void reportPerPixel(benchmark::State& state, std::int64_t pixels) {
    state.counters["per_pixel"] =
        benchmark::Counter(double(pixels), benchmark::Counter::kIsIterationInvariantRate |
                                               benchmark::Counter::kInvert);
}

void BM_Drift(benchmark::State& state) {
    const int side = int(state.range(0));
    Image image(TempFile(pictureFile(side)).path());
    for (auto _ : state) {
        image.drift();
        benchmark::ClobberMemory();
    }
    reportPerPixel(state, std::int64_t{side} * side);
}

// The loop that processors without AVX2 run for the whole picture.
void BM_DriftPortable(benchmark::State& state) {
    const int side = int(state.range(0));
    Image image(TempFile(pictureFile(side)).path());
    Noise noise;
    for (auto _ : state) {
        driftPortable(image.pixels, driftedPixels(image), noise);
        benchmark::ClobberMemory();
    }
    reportPerPixel(state, std::int64_t{side} * side);
}

void BM_StraightforwardDrift(benchmark::State& state) {
    const int side = int(state.range(0));
    Image image(TempFile(pictureFile(side)).path());
    for (auto _ : state) {
        referenceDrift(image.pixels, std::int64_t{side} * side);
        benchmark::ClobberMemory();
    }
    reportPerPixel(state, std::int64_t{side} * side);
}

// The least any drift has to do: read the picture and write it back, here
// into a second buffer, as one memory copy.
void BM_CopyPicture(benchmark::State& state) {
    const int side = int(state.range(0));
    const std::size_t bytes = std::size_t(side) * side * 4;
    std::vector<unsigned char> from(bytes, 1), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
    }
    reportPerPixel(state, std::int64_t{side} * side);
}

void BM_LoadBitmap(benchmark::State& state) {
    const TempFile file(pictureFile(int(state.range(0))));
    Image image(file.path());
    for (auto _ : state) {
        image.loadBitmap(file.path());
        benchmark::DoNotOptimize(image.pixels);
    }
}

// The least any loader has to do: open the file, read it whole into a buffer
// that is already there, close it.
void BM_FreadWholeFile(benchmark::State& state) {
    const Bytes bytes = pictureFile(int(state.range(0)));
    const TempFile file(bytes);
    std::vector<unsigned char> buffer(bytes.size());
    for (auto _ : state) {
        std::FILE* in = std::fopen(file.path().c_str(), "rb");
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
        std::fclose(in);
        benchmark::DoNotOptimize(got);
        benchmark::ClobberMemory();
    }
}

// Five short runs each: scripts/bench keeps the best, the one least disturbed
// by whatever else the machine was doing.
void shape(benchmark::internal::Benchmark* bench) {
    bench->MinTime(0.2)->Repetitions(5)->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_Drift)->Arg(256)->Arg(1024)->Apply(shape);
BENCHMARK(BM_DriftPortable)->Arg(1024)->Apply(shape);
BENCHMARK(BM_StraightforwardDrift)->Arg(256)->Arg(1024)->Apply(shape);
BENCHMARK(BM_CopyPicture)->Arg(1024)->Apply(shape);
BENCHMARK(BM_LoadBitmap)->Arg(1024)->Apply(shape);
BENCHMARK(BM_FreadWholeFile)->Arg(1024)->Apply(shape);

}  // namespace

BENCHMARK_MAIN();
