// Loaded into the demo with LD_PRELOAD by the end-to-end tests and by
// scripts/screenshots. It wraps glutSwapBuffers to count the frames the demo
// shows, and at each frame listed in FRAME_PROBE_HOLD (comma-separated) it
// stops the whole process with SIGSTOP once that frame is on the screen. The
// caller can then read the window, queue key presses or resize it at an exact
// frame, and let the demo go on with SIGCONT. The demo itself is not changed.
//
// With FRAME_PROBE_LOG set to a file name it first appends one line about the
// held frame, asked of the process and of its GL context:
//   frame N rss KIB viewport WIDTH HEIGHT depth Z textures COUNT
// depth is the model-view translation the frame was drawn with, and COUNT the
// texture objects still alive. Those GL queries go through whatever GL the
// demo has, so a traced run (apitrace) leaves FRAME_PROBE_LOG unset to keep
// them out of its trace.
#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>

namespace {

std::set<long> holdFrames() {
    std::set<long> frames;
    if (const char* list = std::getenv("FRAME_PROBE_HOLD")) {
        std::istringstream in(list);
        for (std::string item; std::getline(in, item, ',');) {
            frames.insert(std::stol(item));
        }
    }
    return frames;
}

long residentKib() {
    long pages = 0, resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = -1;
        }
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Mesa hands out texture names above every name in use, and glIsTexture is
// true only for names that still hold a texture, so every live texture lies
// below a name generated now.
int liveTextures() {
    GLuint fresh = 0;
    glGenTextures(1, &fresh);
    int alive = 0;
    for (GLuint name = 1; name < fresh; ++name) {
        alive += glIsTexture(name) ? 1 : 0;
    }
    glDeleteTextures(1, &fresh);
    return alive;
}

void logFrame(const char* fileName, long frame) {
    GLint viewport[4] = {};
    GLfloat modelView[16] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    if (std::FILE* log = std::fopen(fileName, "a")) {
        std::fprintf(log, "frame %ld rss %ld viewport %d %d depth %.7g textures %d\n", frame,
                     residentKib(), viewport[2], viewport[3], double(modelView[14]),
                     liveTextures());
        std::fclose(log);
    }
}

}  // namespace

extern "C" void glutSwapBuffers() {
    using Swap = void (*)();
    static const auto realSwap = reinterpret_cast<Swap>(dlsym(RTLD_NEXT, "glutSwapBuffers"));
    static const std::set<long> holds = holdFrames();
    static const char* const logName = std::getenv("FRAME_PROBE_LOG");
    static long frame = 0;

    realSwap();
    ++frame;
    if (holds.count(frame) == 0) {
        return;
    }
    if (logName) {
        logFrame(logName, frame);
    }
    // The swap's image must have reached the X server before anyone looks.
    if (Display* display = glXGetCurrentDisplay()) {
        XSync(display, False);
    }
    raise(SIGSTOP);
}
