#include "tests/e2e/demo.h"

// GoogleTest before Xlib, whose macros would rename parts of it.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace e2e {

namespace {

using Clock = std::chrono::steady_clock;

void waitBriefly() {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The lowest set bit of a colour mask and its width, to read one channel of a pixel.
int channel(unsigned long pixel, unsigned long mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return int(((pixel >> shift) & mask) * 255 / (mask == 0 ? 1 : mask));
}

// Xlib's default handler would end the whole test program on a failed request.
int reportXError(Display* display, XErrorEvent* error) {
    char text[256];
    XGetErrorText(display, error->error_code, text, sizeof text);
    ADD_FAILURE() << "X request " << int(error->request_code) << " failed: " << text;
    return 0;
}

// The first viewable top-level window whose title starts with "orvalis", or 0.
// Only one demo at a time runs on a test's display.
Window findDemoWindow(Display* display) {
    Window root = 0, parent = 0, *children = nullptr, found = 0;
    unsigned count = 0;
    XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
    for (unsigned i = 0; i < count && found == 0; ++i) {
        char* name = nullptr;
        XWindowAttributes attributes;
        if (XFetchName(display, children[i], &name) && name != nullptr &&
            std::string(name).rfind("orvalis", 0) == 0 &&
            XGetWindowAttributes(display, children[i], &attributes) &&
            attributes.map_state == IsViewable) {
            found = children[i];
        }
        if (name != nullptr) {
            XFree(name);
        }
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

}  // namespace

Bytes Picture::bitmapFile() const {
    Bytes rows;
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            const Rgb& rgb = at(column, row);
            rows.insert(rows.end(),
                        {std::uint8_t(rgb[2]), std::uint8_t(rgb[1]), std::uint8_t(rgb[0])});
        }
        rows.insert(rows.end(), std::size_t(width % 4), 0);
    }
    return bitmap(width, height, rows);
}

Picture cornerBlocks(int side) {
    Picture picture{side, side, {}};
    for (int row = 0; row < side; ++row) {
        for (int column = 0; column < side; ++column) {
            const bool top = row >= side / 2, right = column >= side / 2;
            picture.pixels.push_back(top ? (right ? kTopRight : kTopLeft)
                                         : (right ? kBottomRight : kBottomLeft));
        }
    }
    return picture;
}

double Capture::blackShare() const {
    std::size_t black = 0;
    for (const Rgb& rgb : pixels) {
        black += rgb == Rgb{0, 0, 0} ? 1 : 0;
    }
    return pixels.empty() ? 0 : double(black) / double(pixels.size());
}

Demo::Demo(const DemoOptions& options) : holds_(options.holdAt) {
    char name[] = "/tmp/orvalis-e2e-XXXXXX";
    folder_ = mkdtemp(name);
    if (options.picture) {
        std::filesystem::create_directory(folder_ + "/img");
        std::ofstream(folder_ + "/img/logo.bmp", std::ios::binary)
            .write(reinterpret_cast<const char*>(options.picture->data()),
                   std::streamsize(options.picture->size()));
    }
    XSetErrorHandler(reportXError);
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) {
        ADD_FAILURE() << "cannot open the X display; is DISPLAY set?";
    }

    std::string holdList;
    for (long frame : holds_) {
        holdList += (holdList.empty() ? "" : ",") + std::to_string(frame);
    }
    std::string preload = FRAME_PROBE;
    if (options.traced) {
        preload = std::string(GLXTRACE_WRAPPER) + ":" + preload;
    }

    pid_ = fork();
    if (pid_ == 0) {
        if (chdir(folder_.c_str()) != 0) {
            _exit(126);
        }
        const int out = open("stdout", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open("stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        setenv("LD_PRELOAD", preload.c_str(), 1);
        setenv("FRAME_PROBE_HOLD", holdList.c_str(), 1);
        if (options.traced) {
            setenv("TRACE_FILE", "demo.trace", 1);
        } else {
            setenv("FRAME_PROBE_LOG", "probe.log", 1);
        }
        execl(ORVALIS_BINARY, ORVALIS_BINARY, static_cast<char*>(nullptr));
        _exit(127);
    }
}

Demo::~Demo() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (display_ != nullptr) {
        // The next demo on this display must not find this one's window.
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (findDemoWindow(display_) != 0 && Clock::now() < deadline) {
            waitBriefly();
        }
        XCloseDisplay(display_);
    }
    std::filesystem::remove_all(folder_);
}

XWindow Demo::window() {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (window_ == 0 && display_ != nullptr && Clock::now() < deadline) {
        window_ = findDemoWindow(display_);
        waitBriefly();
    }
    if (window_ == 0) {
        ADD_FAILURE() << "the demo's window did not appear";
    }
    return window_;
}

std::string Demo::title() {
    char* name = nullptr;
    std::string result;
    if (XFetchName(display_, window(), &name) && name != nullptr) {
        result = name;
        XFree(name);
    }
    return result;
}

std::array<int, 4> Demo::geometry() {
    XWindowAttributes attributes{};
    XGetWindowAttributes(display_, window(), &attributes);
    return {attributes.x, attributes.y, attributes.width, attributes.height};
}

FrameReport Demo::waitForHold() {
    if (pid_ <= 0) {
        ADD_FAILURE() << "the demo is not running";
        return {};
    }
    const auto deadline = Clock::now() + std::chrono::seconds(240);
    int status = 0;
    pid_t got = 0;
    while ((got = waitpid(pid_, &status, WNOHANG | WUNTRACED)) == 0 && Clock::now() < deadline) {
        waitBriefly();
    }
    if (got != pid_ || !WIFSTOPPED(status)) {
        ADD_FAILURE() << "the demo did not stop at frame " << holds_.at(nextHold_)
                      << (got == pid_ ? ": it ended" : "");
        if (got == pid_) {
            pid_ = -1;
        }
        return {};
    }
    FrameReport report;
    report.frame = holds_.at(nextHold_++);
    const std::string log = readFile(folder_ + "/probe.log");
    if (!log.empty()) {
        const std::size_t lastLine = log.rfind('\n', log.size() - 2);
        const std::string line = log.substr(lastLine == std::string::npos ? 0 : lastLine + 1);
        std::sscanf(line.c_str(), "frame %ld rss %ld viewport %d %d depth %f textures %d",
                    &report.frame, &report.residentKib, &report.viewportWidth,
                    &report.viewportHeight, &report.depth, &report.liveTextures);
    }
    return report;
}

void Demo::resume() {
    if (pid_ > 0) {
        kill(pid_, SIGCONT);
    }
}

void Demo::press(XKeySym key) {
    XSetInputFocus(display_, window(), RevertToParent, CurrentTime);
    const KeyCode code = XKeysymToKeycode(display_, key);
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    XSync(display_, False);
}

void Demo::resize(int width, int height) {
    XResizeWindow(display_, window(), unsigned(width), unsigned(height));
    XSync(display_, False);
}

Capture Demo::capture() {
    const auto [x, y, width, height] = geometry();
    Capture capture{width, height, {}};
    XImage* image =
        XGetImage(display_, window(), 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (image == nullptr) {
        ADD_FAILURE() << "could not read the window's pixels";
        return capture;
    }
    capture.pixels.reserve(std::size_t(width) * height);
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            const unsigned long pixel = XGetPixel(image, column, row);
            capture.pixels.push_back({channel(pixel, image->red_mask),
                                      channel(pixel, image->green_mask),
                                      channel(pixel, image->blue_mask)});
        }
    }
    XDestroyImage(image);
    return capture;
}

int Demo::waitForExit() {
    if (pid_ <= 0) {
        return -1;
    }
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    int status = 0;
    pid_t got = 0;
    while ((got = waitpid(pid_, &status, WNOHANG)) == 0 && Clock::now() < deadline) {
        waitBriefly();
    }
    if (got != pid_) {
        return -1;
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Demo::output() const {
    return readFile(folder_ + "/stdout");
}

std::vector<std::string> Demo::traceDump(const std::string& nameRegex) const {
    const std::string command = std::string(APITRACE) +
                                " dump --call-nos=no --color=never '--grep=" + nameRegex + "' " +
                                folder_ + "/demo.trace 2>/dev/null";
    std::string text;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            text.append(buffer, got);
        }
        pclose(pipe);
    }
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("gl", 0) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

}  // namespace e2e
