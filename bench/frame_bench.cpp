#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <thread>

#include "app/GlutApp.h"
#include "app/gl.h"
// glutMainLoopEvent lets the benchmark run the toolkit loop one frame at a time.
#include <GL/freeglut_ext.h>
#include "bench/picture.h"
#include "image/Drift.h"
#include "image/Noise.h"
#include "scene/CubeScene.h"
#include "tests/shared_app.h"

namespace {

GlutApp& theApp() {
    return sharedApp("orvalis frame bench");
}

// What a benchmark frame does with the picture before drawing it.
enum class Drift {
    AsTheProgramDoes,
    PortableLoopAlone,  // what processors without AVX2 run
    None,               // the floor: the most frames a second that uploading
                        // the picture every frame allows
};

// The demo's own scene, counting the frames it draws.
class BenchScene : public CubeScene {
  public:
    void display() override {
        if (drift == Drift::AsTheProgramDoes) {
            CubeScene::display();
        } else {
            if (drift == Drift::PortableLoopAlone) {
                driftPortable(image.pixels, driftedPixels(image), Noise::shared());
            }
            drawFrame();
        }
        ++frames;
    }
    Drift drift = Drift::AsTheProgramDoes;
    int frames = 0;
};

using Clock = std::chrono::steady_clock;

// Draws count frames the way the toolkit's main loop does (the idle step asks
// for a redisplay, then the loop draws and swaps) and returns the seconds.
double drawFrames(int count) {
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        onIdle();
        glutMainLoopEvent();
    }
    glFinish();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Each iteration draws a batch of frames of each kind in turn, so that a busy
// spell on the machine hits all alike; the best batch of each counts. The cube
// stays in its starting pose, its front face filling the whole window.
// llvmpipe draws on threads of its own, so the clock on the wall is what
// counts.
void BM_Frames(benchmark::State& state) {
    constexpr int kBatch = 10;
    constexpr Drift kinds[] = {Drift::AsTheProgramDoes, Drift::PortableLoopAlone, Drift::None};
    auto* scene = new BenchScene();
    theApp().setScene(scene);
    scene->image.loadBitmap(TempFile(pictureFile(int(state.range(0)))).path());
    // The toolkit draws only once the window is on screen.
    for (int round = 0; scene->frames == 0 && round < 500; ++round) {
        onIdle();
        glutMainLoopEvent();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    scene->frames = 0;
    double best[std::size(kinds)];  // seconds a batch, for each kind
    std::fill(std::begin(best), std::end(best), 1e9);
    for (auto _ : state) {
        for (std::size_t kind = 0; kind < std::size(kinds); ++kind) {
            scene->drift = kinds[kind];
            best[kind] = std::min(best[kind], drawFrames(kBatch));
        }
    }
    if (scene->frames != int(std::size(kinds)) * kBatch * state.iterations()) {
        state.SkipWithError("the toolkit did not draw every frame asked for");
    }
    state.counters["fps_with_drift"] = kBatch / best[0];
    state.counters["fps_portable_drift"] = kBatch / best[1];
    state.counters["fps_without_drift"] = kBatch / best[2];
    theApp().setScene(nullptr);
}

BENCHMARK(BM_Frames)->Arg(256)->Arg(1024)->Iterations(100)->UseRealTime()->Unit(
    benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    theApp();
    // Names the GL that drew the frames in the results, beside the machine.
    benchmark::AddCustomContext("gl_renderer",
                                reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
