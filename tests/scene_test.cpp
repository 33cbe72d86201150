#include <gtest/gtest.h>

#include <array>
#include <tuple>

#include "app/gl.h"
#include "scene/CubeScene.h"
#include "tests/bitmap_file.h"
#include "tests/shared_app.h"

#if ORVALIS_X11
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>
#endif

namespace {

// Expects GL's matrix `which` to be the one that the calls make of the identity.
template <class Calls>
void expectMatrix(GLenum which, Calls calls) {
    std::array<float, 16> actual, expected;
    glGetFloatv(which, actual.data());
    glPushMatrix();  // the expected matrix is worked out on the model-view stack
    glLoadIdentity();
    calls();
    glGetFloatv(GL_MODELVIEW_MATRIX, expected.data());
    glPopMatrix();
    EXPECT_EQ(actual, expected);
}

using Rgb = std::array<int, 3>;

// The back buffer at window coordinates, y down as on the screen; GL counts up.
Rgb pixelOnScreen(int x, int y) {
    unsigned char rgba[4];
    glReadPixels(x, 480 - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return {rgba[0], rgba[1], rgba[2]};
}

// 64 x 64 in four blocks, red and green telling left from right and top from
// bottom: yellow top-left, green top-right, red bottom-left, blue bottom-right.
Bytes quadrants() {
    Bytes rows;
    for (int k = 0; k < 64 * 64; ++k) {  // blue, green, red; the bottom row first
        rows.insert(rows.end(),
                    {64, std::uint8_t(k < 32 * 64 ? 0 : 255), std::uint8_t(k % 64 < 32 ? 255 : 0)});
    }
    return bitmap(64, 64, rows);
}

class CubeSceneTest : public testing::Test {
  protected:
    void SetUp() override {
        sharedApp().setScene(scene = new CubeScene());
        ASSERT_TRUE(load(scene->image, quadrants()));
        onReshape(640, 480);
    }
    void TearDown() override { sharedApp().setScene(nullptr); }

    CubeScene* scene = nullptr;
};

// In single precision, the phase turning on the step that reaches -20 or passes 1;
// the angle a whole turn less on the step that reaches 360 or -360.
TEST_F(CubeSceneTest, EachIdleStepTakesOneStepOfItsPhase) {
    using Pose = std::tuple<bool, bool, float, float>;  // receding, approaching, depth, angle
    const std::pair<Pose, Pose> steps[] = {
        {{false, false, -2.8f, 0}, {false, false, -2.8f, 0}},
        {{true, false, -2.8f, 0}, {true, false, -2.8f - 0.1f, 3}},
        {{true, false, -20.0f + 0.1f, 357}, {false, true, -20.0f, 0}},
        {{false, true, 1.0f - 0.01f, -354}, {false, true, 1.0f, 0}},
        {{false, true, 1.0f, 0}, {true, false, 1.0f + 0.01f, -6}},
        {{true, true, -5, 0}, {true, true, -5 - 0.1f, 3}},
    };
    for (const auto& [before, after] : steps) {
        std::tie(scene->receding, scene->approaching, scene->depth, scene->angle) = before;
        onIdle();
        EXPECT_EQ(std::tie(scene->receding, scene->approaching, scene->depth, scene->angle), after)
            << "from depth " << std::get<2>(before);
    }
}

// Days of spinning, without drawing: the angle stays within one turn.
TEST_F(CubeSceneTest, ThirtyMillionIdleStepsKeepTheAngleWithinOneTurn) {
    scene->receding = true;
    for (int step = 0; step < 30'000'000; ++step)
        onIdle();
    EXPECT_NEAR(scene->angle, 0.0f, 360.0f);
}

// The cube, at depth -5 and turned 30 degrees, is drawn turned about the axis.
void expectDrawnTurnedAbout(float x, float y, float z) {
    onDisplay();
    expectMatrix(GL_MODELVIEW_MATRIX, [&] {
        glTranslatef(0, 0, -5);
        glRotatef(30, x, y, z);
    });
}

// Each letter has an arrow key's code and axis; Right and Down cross the diagonals.
TEST_F(CubeSceneTest, EachAxisKeyAndItsLetterTurnTheCubeAboutTheirAxis) {
    scene->angle = 30.0f;
    scene->depth = -5.0f;
    expectDrawnTurnedAbout(0, 0, 1);  // as the scene starts
    const std::pair<int, std::array<float, 3>> axes[] = {{GLUT_KEY_UP, {1, 0, 0}},
                                                         {GLUT_KEY_RIGHT, {1, 1, 1}},
                                                         {GLUT_KEY_DOWN, {1, 1, 0}},
                                                         {GLUT_KEY_LEFT, {0, 0, 1}}};
    for (const auto& [code, axis] : axes) {
        for (bool arrow : {false, true}) {
            SCOPED_TRACE(testing::Message() << code << (arrow ? " arrow" : " letter"));
            scene->rotationMode = -1;
            arrow ? onSpecialKey(code, 0, 0) : onKeyboard(std::uint8_t(code), 0, 0);
            expectDrawnTurnedAbout(axis[0], axis[1], axis[2]);
        }
    }
}

TEST_F(CubeSceneTest, EachFrameShowsThePictureUprightWithATextureOfItsOwn) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    scene->display();
    EXPECT_NE(scene->textureId, 0u);
    EXPECT_FALSE(glIsTexture(scene->textureId));
    GLint depthFunc = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
    EXPECT_EQ(depthFunc, GL_LESS);
    EXPECT_EQ(glutGet(GLUT_INIT_DISPLAY_MODE), GLUT_RGBA | GLUT_DOUBLE | GLUT_ALPHA | GLUT_DEPTH);
    // Unfiltered right beside the blocks' edge, and the faces behind hidden.
    EXPECT_EQ(pixelOnScreen(40, 238), (Rgb{255, 255, 64}));
    EXPECT_EQ(pixelOnScreen(600, 40), (Rgb{0, 255, 64}));
    EXPECT_EQ(pixelOnScreen(40, 440), (Rgb{255, 0, 64}));
    EXPECT_EQ(pixelOnScreen(600, 440), (Rgb{0, 0, 64}));
}

TEST(GlutAppTest, ReshapeKeepsA45DegreePerspectiveOverTheWholeWindow) {
    sharedApp();
    for (const auto& size : {std::pair{1000, 200}, {200, 1000}, {640, 0}}) {
        onReshape(size.first, size.second);
        expectMatrix(GL_PROJECTION_MATRIX, [&] {
            gluPerspective(45, double(size.first) / (size.second ? size.second : 1), 0.1f, 100);
        });
    }
}

#if ORVALIS_X11
// A 32-bit property of the window, which Xlib hands over as longs.
std::vector<long> cardinals(Display* display, Window window, const char* name) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1 << 20, False,
                       XA_CARDINAL, &type, &format, &count, &after, &data);
    std::vector<long> values;
    if (data && format == 32) {
        const long* longs = reinterpret_cast<const long*>(data);
        values.assign(longs, longs + count);
    }
    XFree(data);
    return values;
}

// What a dock or task bar matches the window to its menu entry by: its
// class, its process, and the shipped picture as its icon.
TEST(GlutAppTest, TiesItsWindowToTheMenuEntry) {
    sharedApp();
    Display* display = glXGetCurrentDisplay();
    const Window window = glXGetCurrentDrawable();
    XClassHint hint{};
    ASSERT_TRUE(XGetClassHint(display, window, &hint));
    const std::pair<std::string, std::string> names{hint.res_name, hint.res_class};
    XFree(hint.res_name);
    XFree(hint.res_class);
    EXPECT_EQ(names, (std::pair<std::string, std::string>{"orvalis", "orvalis"}));
    EXPECT_EQ(cardinals(display, window, "_NET_WM_PID"), std::vector<long>{long(getpid())});

    const std::vector<long> icon = cardinals(display, window, "_NET_WM_ICON");
    ASSERT_EQ(icon.size(), 2u + 48 * 48);
    EXPECT_EQ(std::pair(icon[0], icon[1]), std::pair(48L, 48L));
    // Its top left is the picture's sky: opaque, far bluer than red.
    const long alpha = icon[2] >> 24 & 0xFF, red = icon[2] >> 16 & 0xFF, blue = icon[2] & 0xFF;
    EXPECT_EQ(alpha, 255);
    EXPECT_GT(blue, red + 64);
}
#endif

}  // namespace
