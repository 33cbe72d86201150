#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/demo.h"

namespace e2e {
namespace {

const Picture kBlocks = cornerBlocks(64);

DemoOptions blocksHeldAt(std::vector<long> frames) {
    return {kBlocks.bitmapFile(), std::move(frames), false};
}

// The colour of buffer pixel `index` after `frames` drift steps: red and blue
// come from two pixels further on per step, green from one. The last eight
// pixels of the buffer never move, so this holds only well before them; none
// past that.
std::optional<Rgb> drifted(const Picture& picture, int frames, int index) {
    const int source = index + 2 * frames;
    if (source >= picture.width * picture.height - 8) {
        return std::nullopt;
    }
    const auto& pixels = picture.pixels;
    return Rgb{pixels[source][0], pixels[index + frames][1], pixels[source][2]};
}

// What pixel (x, y) of a width x height window shows at frame `frame` while
// the cube is still: its front face square-on, 1.8 units away, under a 45
// degree vertical field of view; black around it. None where a face or texel
// edge passes within three quarters of a pixel of the pixel's centre, where
// rounding may go either way, and where the drift model does not reach.
std::optional<Rgb> expectedStill(const Picture& picture, int frame, int width, int height, int x,
                                 int y) {
    const double halfHeight = std::tan(22.5 * M_PI / 180) * (2.8f - 1.0f);
    const double halfWidth = halfHeight * width / height;
    // Face coordinates -1..1 (y up) of a point given in window pixels (y down).
    const auto faceX = [&](double px) { return (2 * px / width - 1) * halfWidth; };
    const auto faceY = [&](double py) { return (1 - 2 * py / height) * halfHeight; };
    const double x0 = faceX(x - 0.25), x1 = faceX(x + 1.25);
    const double y0 = faceY(y + 1.25), y1 = faceY(y - 0.25);
    if (x1 <= -1 || x0 >= 1 || y1 <= -1 || y0 >= 1) {
        return Rgb{0, 0, 0};
    }
    const auto texel = [](double face, int size) { return int(std::floor((face + 1) / 2 * size)); };
    const int column = texel(x0, picture.width), row = texel(y0, picture.height);
    if (x0 <= -1 || x1 >= 1 || y0 <= -1 || y1 >= 1 || column != texel(x1, picture.width) ||
        row != texel(y1, picture.height)) {
        return std::nullopt;
    }
    return drifted(picture, frame, row * picture.width + column);
}

// Compares every pixel of the capture that expectedStill can call.
void expectStillFace(const Capture& shot, const Picture& picture, int frame) {
    int judged = 0, wrong = 0;
    std::ostringstream examples;
    for (int y = 0; y < shot.height; ++y) {
        for (int x = 0; x < shot.width; ++x) {
            const auto expected = expectedStill(picture, frame, shot.width, shot.height, x, y);
            if (!expected) {
                continue;
            }
            ++judged;
            const Rgb& actual = shot.at(x, y);
            if (actual != *expected && ++wrong <= 5) {
                examples << " (" << x << ", " << y << ") is " << actual[0] << " " << actual[1]
                         << " " << actual[2] << ", not " << (*expected)[0] << " " << (*expected)[1]
                         << " " << (*expected)[2] << ";";
            }
        }
    }
    EXPECT_GT(judged, shot.width * shot.height / 2);
    EXPECT_EQ(wrong, 0) << "of " << judged << " pixels judged at frame " << frame << ":"
                        << examples.str();
}

void expectEscapeEndsWithZero(Demo& demo) {
    demo.press(XK_Escape);
    demo.resume();
    EXPECT_EQ(demo.waitForExit(), 0);
}

TEST(Window, HasTheExactTitleAndIs640x480At00) {
    Demo demo(blocksHeldAt({1}));
    demo.waitForHold();
    EXPECT_EQ(demo.title(), kTitle);
    EXPECT_EQ(demo.geometry(), (std::array<int, 4>{0, 0, 640, 480}));
}

TEST(StillCube, FrontFaceFillsTheWindowUprightInThePicturesColours) {
    Demo demo(blocksHeldAt({1}));
    ASSERT_EQ(demo.waitForHold().frame, 1);
    const Capture shot = demo.capture();
    const struct {
        int x, y;
        Rgb colour;
    } corners[] = {
        {40, 40, kTopLeft}, {600, 40, kTopRight}, {40, 440, kBottomLeft}, {600, 440, kBottomRight}};
    for (const auto& corner : corners) {
        EXPECT_EQ(shot.at(corner.x, corner.y), corner.colour) << corner.x << ", " << corner.y;
    }
    expectStillFace(shot, kBlocks, 1);
    expectEscapeEndsWithZero(demo);
    EXPECT_EQ(demo.output(), "");
}

TEST(StillCube, PictureDriftsWhileTheCubeKeepsItsPose) {
    Demo demo(blocksHeldAt({1, 2}));
    ASSERT_EQ(demo.waitForHold().frame, 1);
    const Capture first = demo.capture();
    demo.resume();
    ASSERT_EQ(demo.waitForHold().frame, 2);
    const Capture second = demo.capture();
    int differing = 0;
    for (std::size_t i = 0; i < first.pixels.size(); ++i) {
        differing += first.pixels[i] != second.pixels[i] ? 1 : 0;
    }
    EXPECT_GT(differing, 0);
    expectStillFace(first, kBlocks, 1);
    expectStillFace(second, kBlocks, 2);
}

TEST(Animation, EnterFliesAwayThenComesBackPastTheViewerAndAwayAgain) {
    Demo demo(blocksHeldAt({1}));
    ASSERT_EQ(demo.waitForHold().frame, 1);
    demo.press(XK_Return);
    demo.resume();
    const auto start = std::chrono::steady_clock::now();
    const auto seconds = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    // Far away the cube is a small patch in the middle of a black window; close
    // up, or with the viewer inside it, it covers every pixel.
    enum Stage { kFirstFlight, kClose, kSecondFlight, kDone } stage = kFirstFlight;
    double firstFlightAt = -1;
    while (stage != kDone && seconds() < 30) {
        const Capture shot = demo.capture();
        const bool far = shot.blackShare() > 0.9 && shot.at(320, 240) != Rgb{0, 0, 0};
        const bool close = shot.blackShare() == 0;
        if (stage == kFirstFlight && far) {
            firstFlightAt = seconds();
            stage = kClose;
        } else if (stage == kClose && close) {
            stage = kSecondFlight;
        } else if (stage == kSecondFlight && far) {
            stage = kDone;
        }
    }
    EXPECT_EQ(stage, kDone) << "stopped waiting after " << seconds() << " s";
    EXPECT_GE(firstFlightAt, 0);
    EXPECT_LT(firstFlightAt, 1.0);
}

// The name of the function a line of apitrace's listing calls.
std::string function(const std::string& call) {
    return call.substr(0, call.find('('));
}

// glRotatef's arguments as apitrace writes them, for the still cube about each
// axis: angle 0 throughout also shows that no key started the animation.
const std::string kAxisZ = "angle = 0, x = 0, y = 0, z = 1",
                  kAxisX = "angle = 0, x = 1, y = 0, z = 0",
                  kDiagonal111 = "angle = 0, x = 1, y = 1, z = 1",
                  kDiagonal110 = "angle = 0, x = 1, y = 1, z = 0";

// The rotation each frame of the trace was drawn with, frame 1 first.
std::vector<std::string> rotationPerFrame(const std::vector<std::string>& calls) {
    std::vector<std::string> rotations;
    std::string rotation = "none";
    for (const std::string& call : calls) {
        if (function(call) == "glRotatef") {
            rotation = call.substr(call.find('(') + 1);
            rotation.pop_back();
        } else if (function(call) == "glXSwapBuffers") {
            rotations.push_back(rotation);
        }
    }
    return rotations;
}

TEST(Keys, ArrowsAndTheirLettersSelectTheirAxisAndOtherKeysNothing) {
    const struct {
        const char* name;
        XKeySym key;
        const std::string& axis;
    } presses[] = {{"Up", XK_Up, kAxisX},
                   {"h", XK_h, kAxisX},
                   {"Right", XK_Right, kDiagonal111},
                   {"F1", XK_F1, kDiagonal111},
                   {"Down", XK_Down, kDiagonal110},
                   {"a", XK_a, kDiagonal110},
                   {"Left", XK_Left, kAxisZ},
                   {"Home", XK_Home, kAxisZ},
                   {"e", XK_e, kAxisX},
                   {"space", XK_space, kAxisX},
                   {"f", XK_f, kDiagonal111},
                   {"Page Up", XK_Page_Up, kDiagonal111},
                   {"g", XK_g, kDiagonal110},
                   {"c", XK_c, kDiagonal110},
                   {"d", XK_d, kAxisZ},
                   {"Tab", XK_Tab, kAxisZ}};
    const int count = sizeof presses / sizeof presses[0];
    // One key per hold; each hold lets three frames pass after the key.
    std::vector<long> holds;
    for (int i = 0; i <= count; ++i) {
        holds.push_back(1 + 3 * i);
    }
    Demo demo({kBlocks.bitmapFile(), holds, true});
    for (const auto& press : presses) {
        demo.waitForHold();
        demo.press(press.key);
        demo.resume();
    }
    demo.waitForHold();
    expectEscapeEndsWithZero(demo);

    const auto axes = rotationPerFrame(demo.traceDump("^(glRotatef|glXSwapBuffers)$"));
    ASSERT_GE(axes.size(), std::size_t(holds.back()));
    EXPECT_EQ(axes[0], kAxisZ) << "at the start";
    for (int i = 0; i < count; ++i) {
        const std::string& before = i == 0 ? kAxisZ : presses[i - 1].axis;
        EXPECT_EQ(axes[holds[i] - 1], before) << "before " << presses[i].name;
        EXPECT_EQ(axes[holds[i + 1] - 1], presses[i].axis) << "after " << presses[i].name;
    }
}

TEST(Frames, EachFrameUploadsDrawsAndDeletesATextureOfItsOwn) {
    Demo demo({cornerBlocks(4).bitmapFile(), {30}, true});
    demo.waitForHold();
    expectEscapeEndsWithZero(demo);

    std::vector<std::string> expected = {
        "glClear",         "glPixelStorei",   "glGenTextures",   "glBindTexture", "glTexParameteri",
        "glTexParameteri", "glTexParameteri", "glTexParameteri", "glTexImage2D",  "glEnable",
        "glLoadIdentity",  "glTranslatef",    "glRotatef",       "glBindTexture", "glBegin"};
    for (int corner = 0; corner < 24; ++corner) {
        expected.insert(expected.end(), {"glTexCoord2f", "glVertex3f"});
    }
    // glFlush is the toolkit's, part of its buffer swap.
    expected.insert(expected.end(), {"glEnd", "glDeleteTextures", "glFlush", "glXSwapBuffers"});

    // Context switches, the toolkit's and the probe's, are left out; the first
    // frame starts at the first clear.
    std::vector<std::vector<std::string>> frames;
    std::vector<std::string> frame;
    for (const std::string& call : demo.traceDump(".")) {
        const std::string name = function(call);
        if (name.rfind("glX", 0) == 0 && name != "glXSwapBuffers") {
            continue;
        }
        if (!frame.empty() || name == "glClear") {
            frame.push_back(call);
        }
        if (name == "glXSwapBuffers" && !frame.empty()) {
            frames.push_back(frame);
            frame.clear();
        }
    }
    ASSERT_GE(frames.size(), 30u);
    for (std::size_t n = 0; n < frames.size(); ++n) {
        SCOPED_TRACE(testing::Message() << "frame " << n + 1);
        std::vector<std::string> names;
        for (const std::string& call : frames[n]) {
            names.push_back(function(call));
        }
        ASSERT_EQ(names, expected);
        // glGenTextures(n = 1, textures = &N): both binds and the delete name that N.
        std::string made;
        for (const std::string& call : frames[n]) {
            const std::size_t at = call.find('&');
            if (function(call) == "glGenTextures") {
                made = call.substr(at + 1, call.find(')') - at - 1);
            } else if (function(call) == "glBindTexture") {
                EXPECT_NE(call.find("texture = " + made + ")"), std::string::npos) << call;
            } else if (function(call) == "glDeleteTextures") {
                EXPECT_NE(call.find("textures = &" + made + ")"), std::string::npos) << call;
            }
        }
    }
}

TEST(Escape, EndsTheDemoWithStatusZeroInEveryPhase) {
    const struct {
        const char* phase;
        long from;
        float depthStep;  // between the two held frames; 0: no Enter
    } phases[] = {{"still", 1, 0.0f}, {"receding", 40, -0.1f}, {"approaching", 600, 0.01f}};
    for (const auto& phase : phases) {
        SCOPED_TRACE(phase.phase);
        Demo demo(blocksHeldAt({1, phase.from + 1, phase.from + 2}));
        ASSERT_EQ(demo.waitForHold().frame, 1);
        if (phase.depthStep != 0) {
            demo.press(XK_Return);
        }
        demo.resume();
        const FrameReport before = demo.waitForHold();
        demo.resume();
        const FrameReport after = demo.waitForHold();
        EXPECT_NEAR(after.depth - before.depth, phase.depthStep, 1e-4);
        expectEscapeEndsWithZero(demo);
    }
}

TEST(Picture, MissingOrRefusedPrintsOneLineShowsAWhiteFaceAndEscapeGivesZero) {
    const Bytes pixel{1, 2, 3, 0};
    Bytes badSignature = bitmap(1, 1, pixel);
    badSignature[0] = 'X';
    Bytes headerCutShort = bitmap(1, 1, {});
    headerCutShort.resize(40);
    const struct {
        const char* what;
        std::optional<Bytes> file;
    } pictures[] = {
        {"no picture", std::nullopt},
        {"bad signature", badSignature},
        {"8-bit", bitmap(1, 1, pixel, 8)},
        {"32-bit", bitmap(1, 1, pixel, 32)},
        {"header cut short", headerCutShort},
        {"zero width", bitmap(0, 1, pixel)},
        {"negative width", bitmap(-1, 1, pixel)},
        {"zero height", bitmap(1, 0, pixel)},
        // 2^14 x 2^15 pixels of 4 bytes: 2^31 bytes, one more than allowed.
        {"byte count too large", bitmap(1 << 14, 1 << 15, pixel)},
    };
    for (const auto& picture : pictures) {
        SCOPED_TRACE(picture.what);
        Demo demo({picture.file, {1}, false});
        ASSERT_EQ(demo.waitForHold().frame, 1);
        const Capture shot = demo.capture();
        int notWhite = 0;
        for (const Rgb& rgb : shot.pixels) {
            notWhite += rgb != Rgb{255, 255, 255} ? 1 : 0;
        }
        EXPECT_EQ(notWhite, 0);
        expectEscapeEndsWithZero(demo);
        EXPECT_EQ(demo.output(), "Error loading texture!\n");
    }
}

TEST(Resize, FaceStaysCentredAndSquareAtEverySize) {
    const std::array<int, 2> sizes[] = {{320, 240}, {1000, 200}, {200, 1000}, {640, 1}};
    std::vector<long> holds = {1};
    for (std::size_t i = 1; i <= std::size(sizes); ++i) {
        holds.push_back(1 + 3 * long(i));
    }
    Demo demo(blocksHeldAt(holds));
    demo.waitForHold();
    for (const auto& [width, height] : sizes) {
        SCOPED_TRACE(testing::Message() << width << " x " << height);
        demo.resize(width, height);
        demo.resume();
        const FrameReport report = demo.waitForHold();
        ASSERT_GT(report.frame, 0) << "the demo ended";
        EXPECT_EQ(report.viewportWidth, width);
        EXPECT_EQ(report.viewportHeight, height);
        const Capture shot = demo.capture();
        ASSERT_EQ(shot.width, width);
        ASSERT_EQ(shot.height, height);
        expectStillFace(shot, kBlocks, int(report.frame));
    }
    expectEscapeEndsWithZero(demo);
}

TEST(Soak, TwentyThousandFramesKeepMemoryFlatAndLeaveNoTextureAlive) {
    Demo demo(blocksHeldAt({1, 2000, 20000}));
    ASSERT_EQ(demo.waitForHold().frame, 1);
    demo.press(XK_Return);
    demo.resume();
    const FrameReport early = demo.waitForHold();
    demo.resume();
    const FrameReport late = demo.waitForHold();
    ASSERT_EQ(early.frame, 2000);
    ASSERT_EQ(late.frame, 20000);
    RecordProperty("residentKibAfter2000", std::to_string(early.residentKib));
    RecordProperty("residentKibAfter20000", std::to_string(late.residentKib));
    EXPECT_NE(early.depth, late.depth) << "the animation runs";
    EXPECT_GT(early.residentKib, 0);
    EXPECT_LE(std::abs(late.residentKib - early.residentKib), 2048)
        << early.residentKib << " KiB after 2,000 frames, " << late.residentKib
        << " KiB after 20,000";
    EXPECT_EQ(early.liveTextures, 0);
    EXPECT_EQ(late.liveTextures, 0);
    expectEscapeEndsWithZero(demo);
}

}  // namespace
}  // namespace e2e
