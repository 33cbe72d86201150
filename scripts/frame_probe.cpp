// Preloaded into the demo by scripts/screenshots (LD_PRELOAD). It wraps
// glutSwapBuffers to count the frames the demo shows, and at each frame listed
// in FRAME_PROBE_HOLD (comma-separated, ascending) it stops the whole process
// with SIGSTOP once that frame is on the screen. The caller can then take a
// screenshot or queue a key press at an exact frame, and let the demo go on
// with SIGCONT; every run so takes the same pictures. The demo is not changed.
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <dlfcn.h>

#include <csignal>
#include <cstdlib>

extern "C" void glutSwapBuffers() {
    using Swap = void (*)();
    static const auto realSwap = reinterpret_cast<Swap>(dlsym(RTLD_NEXT, "glutSwapBuffers"));
    static const char* nextHold = std::getenv("FRAME_PROBE_HOLD");
    static long frame = 0;

    realSwap();
    ++frame;
    char* end = nullptr;
    const long hold = nextHold ? std::strtol(nextHold, &end, 10) : 0;
    if (end == nextHold || hold != frame) {
        return;
    }
    nextHold = *end == ',' ? end + 1 : nullptr;
    // The swap's image must have reached the X server before anyone looks.
    if (Display* display = glXGetCurrentDisplay()) {
        XSync(display, False);
    }
    std::raise(SIGSTOP);
}
