#include <benchmark/benchmark.h>

#include <unistd.h>

#include <string>

#include "app/GlutApp.h"
#include "app/gl.h"
// glutMainLoopEvent lets the benchmark run the toolkit loop one frame at a time.
#include <GL/freeglut_ext.h>
#include "bench/picture.h"
#include "scene/CubeScene.h"

namespace {

// GLUT can be initialised once per process, so every benchmark shares this window.
GlutApp& theApp() {
    static int argc = 1;
    static char name[] = "frame_bench";
    static char* argv[] = {name, nullptr};
    static GlutApp app(&argc, argv, "orvalis frame bench", 0, 0, 640, 480);
    return app;
}

// The demo's own scene, counting the frames it draws.
class CountingScene : public CubeScene {
  public:
    void display() override {
        CubeScene::display();
        ++frames;
    }
    int frames = 0;
};

// The same frames with the drift left out: the most frames a second that
// uploading the picture every frame allows.
class FloorScene : public CountingScene {
  public:
    void display() override {
        drawFrame();
        ++frames;
    }
};

// Draws one frame per iteration the way the toolkit's main loop does: the
// idle step asks for a redisplay, then the loop draws and swaps. The cube
// stays in its starting pose, its front face filling the whole window.
template <class SceneType>
void runFrames(benchmark::State& state) {
    auto* scene = new SceneType();
    theApp().setScene(scene);
    scene->image.loadBitmap(TempFile(pictureFile(int(state.range(0)))).path());
    // The toolkit draws only once the window is on screen.
    for (int round = 0; scene->frames == 0 && round < 500; ++round) {
        onIdle();
        glutMainLoopEvent();
        usleep(10000);
    }
    scene->frames = 0;
    for (auto _ : state) {
        onIdle();
        glutMainLoopEvent();
    }
    glFinish();
    if (scene->frames != state.iterations()) {
        state.SkipWithError("the toolkit did not draw one frame per iteration");
    }
    state.counters["fps"] = benchmark::Counter(scene->frames, benchmark::Counter::kIsRate);
    theApp().setScene(nullptr);
}

void BM_FramesWithDrift(benchmark::State& state) {
    runFrames<CountingScene>(state);
}

void BM_FramesWithoutDrift(benchmark::State& state) {
    runFrames<FloorScene>(state);
}

// A fixed number of frames, ten times over (scripts/bench keeps the best run
// and shuffles the runs of all four, so that a busy spell hits each alike).
// llvmpipe draws on threads of its own, so the clock on the wall is what counts.
void shape(benchmark::internal::Benchmark* bench) {
    bench->Iterations(100)->Repetitions(10)->UseRealTime()->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_FramesWithDrift)->Arg(256)->Arg(1024)->Apply(shape);
BENCHMARK(BM_FramesWithoutDrift)->Arg(256)->Arg(1024)->Apply(shape);

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
