#pragma once

#include <sys/types.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "tests/bitmap_file.h"

// Xlib's own header is kept out of here: its macros (None, Bool, Status)
// clash with GoogleTest's names.
struct _XDisplay;

namespace e2e {

using XWindow = unsigned long;  // Xlib's Window
using XKeySym = unsigned long;  // Xlib's KeySym, as the XK_ constants of X11/keysym.h give it

using Rgb = std::array<int, 3>;

// A picture as the tests make it: rows bottom row first, as a bitmap stores them.
struct Picture {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;

    const Rgb& at(int column, int row) const { return pixels[std::size_t(row) * width + column]; }
    Bytes bitmapFile() const;
};

// Four blocks of side / 2, each in its own colour; no channel is ever 0, so no
// mix of them drawn on the screen can pass for the black background, and any
// swap of two channels changes every block.
inline const Rgb kTopLeft{240, 64, 32}, kTopRight{32, 200, 64}, kBottomLeft{64, 32, 220},
    kBottomRight{230, 220, 48};
Picture cornerBlocks(int side);

// What the window shows: rows top row first, as on the screen.
struct Capture {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;

    const Rgb& at(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
    double blackShare() const;
};

// One line of the frame probe's log about a held frame (see frame_probe.cpp).
struct FrameReport {
    long frame = 0;
    long residentKib = 0;
    int viewportWidth = 0, viewportHeight = 0;
    float depth = 0;
    int liveTextures = 0;
};

struct DemoOptions {
    // Written to img/logo.bmp in the demo's working folder; none: no such file.
    std::optional<Bytes> picture;
    // Frames after which the demo stops until resume(); see frame_probe.cpp.
    std::vector<long> holdAt;
    // Records every GL call with apitrace; readable with traceDump() once the demo ended.
    bool traced = false;
};

inline const std::string kTitle = "orvalis [ press enter to start trippin ]";

// The real build/orvalis, started in a scratch folder of its own on the display
// in DISPLAY, with its standard output going to a file. Whatever happens in the
// test, the destructor kills the demo if it still runs and removes the folder.
class Demo {
  public:
    explicit Demo(const DemoOptions& options);
    ~Demo();
    Demo(const Demo&) = delete;
    Demo& operator=(const Demo&) = delete;

    // The demo's top-level window, once it is on the screen.
    XWindow window();
    std::string title();
    // x, y, width, height, relative to the root window.
    std::array<int, 4> geometry();

    // Waits until the demo stops at its next hold frame; fails the test if it
    // ends instead. Returns the probe's report, for runs that are not traced.
    FrameReport waitForHold();
    void resume();

    // A real key press and release through XTest, given as an X key symbol.
    void press(XKeySym key);
    void resize(int width, int height);
    Capture capture();

    // Waits up to ten seconds for the demo to end by itself; its exit status,
    // or -1 if it was killed by a signal or did not end.
    int waitForExit();
    std::string output() const;
    // apitrace's listing of the calls whose names match the regular expression.
    std::vector<std::string> traceDump(const std::string& nameRegex) const;

  private:
    std::string folder_;
    std::vector<long> holds_;
    std::size_t nextHold_ = 0;
    _XDisplay* display_ = nullptr;
    pid_t pid_ = -1;
    XWindow window_ = 0;
};

}  // namespace e2e
