#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/GlutApp.h"
#include "app/gl.h"
#include "image/Noise.h"
// glutMainLoopEvent lets a test run the toolkit loop one round at a time.
#include <GL/freeglut_ext.h>
#include "scene/CubeScene.h"
#include "tests/bitmap_file.h"
#include "tests/shared_app.h"

namespace {

GlutApp& theApp() {
    return sharedApp("orvalis tests");
}

using Matrix = std::array<float, 16>;  // column-major, as GL keeps it

Matrix glMatrix(GLenum which) {
    Matrix m;
    glGetFloatv(which, m.data());
    return m;
}

void expectMatrixNear(const Matrix& actual, const Matrix& expected) {
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(actual[i], expected[i], 1e-5) << "element " << i;
    }
}

// translate(0, 0, depth) * rotate(angle, axis), worked out independently of GL.
Matrix translateRotate(float depth, float angle, double x, double y, double z) {
    const double length = std::sqrt(x * x + y * y + z * z);
    x /= length, y /= length, z /= length;
    const double c = std::cos(angle * M_PI / 180), s = std::sin(angle * M_PI / 180), t = 1 - c;
    const double columns[3][3] = {{t * x * x + c, t * x * y + s * z, t * x * z - s * y},
                                  {t * x * y - s * z, t * y * y + c, t * y * z + s * x},
                                  {t * x * z + s * y, t * y * z - s * x, t * z * z + c}};
    Matrix m{};
    for (int column = 0; column < 3; ++column) {
        for (int row = 0; row < 3; ++row) {
            m[4 * column + row] = float(columns[column][row]);
        }
    }
    m[14] = depth;
    m[15] = 1;
    return m;
}

using Rgb = std::array<int, 3>;

// Reads the back buffer at window coordinates (y down, as on screen; GL counts up).
Rgb pixelOnScreen(int x, int y) {
    unsigned char rgba[4];
    glReadPixels(x, 480 - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return {rgba[0], rgba[1], rgba[2]};
}

// A 64 x 64 picture in four blocks: red top-left, green top-right, blue
// bottom-left, yellow bottom-right. Rows are stored bottom row first.
Bytes quadrantBitmap() {
    Bytes rows;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            const bool top = y >= 32, right = x >= 32;
            const Rgb rgb = top ? (right ? Rgb{0, 255, 0} : Rgb{255, 0, 0})
                                : (right ? Rgb{255, 255, 0} : Rgb{0, 0, 255});
            rows.insert(rows.end(),
                        {std::uint8_t(rgb[2]), std::uint8_t(rgb[1]), std::uint8_t(rgb[0])});
        }
    }
    return bitmap(64, 64, rows);
}

class CubeSceneTest : public ::testing::Test {
  protected:
    void SetUp() override {
        theApp().setScene(scene = new CubeScene());
        // Back to the state the program starts in, whatever earlier tests did.
        glDisable(GL_TEXTURE_2D);
        onReshape(640, 480);
    }
    void TearDown() override { theApp().setScene(nullptr); }

    // Takes idle steps while flag holds; returns how many.
    int stepsWhile(const bool& flag) {
        int steps = 0;
        for (; flag && steps < 100000; ++steps) {
            onIdle();
        }
        return steps;
    }

    CubeScene* scene = nullptr;
};

TEST_F(CubeSceneTest, StillUntilEnterThen172StepsOutAnd2100Back) {
    for (int i = 0; i < 500; ++i) {
        onIdle();
    }
    EXPECT_EQ(scene->angle, 0.0f);
    EXPECT_EQ(scene->depth, -2.8f);

    onKeyboard(13, 0, 0);
    onIdle();
    EXPECT_EQ(scene->angle, 3.0f);
    EXPECT_NEAR(scene->depth, -2.8999999, 1e-7);
    EXPECT_NE(scene->depth, -2.9f) << "each step rounds to float on its own";

    EXPECT_EQ(1 + stepsWhile(scene->receding), 172);
    EXPECT_TRUE(scene->approaching);
    EXPECT_EQ(stepsWhile(scene->approaching), 2100);
    EXPECT_TRUE(scene->receding);
    EXPECT_EQ(scene->angle, 172 * 3.0f - 2100 * 6.0f) << "the angle is never wrapped";
}

TEST_F(CubeSceneTest, EachPhaseEndsAtItsBoundaryDepth) {
    const float landsOnMinusTwenty = -20.0f + 0.1f, landsOnOne = 1.0f - 0.01f;
    ASSERT_EQ(landsOnMinusTwenty - 0.1f, -20.0f);
    ASSERT_EQ(landsOnOne + 0.01f, 1.0f);
    const struct {
        bool receding;
        float start;
        bool phaseEnds;
    } steps[] = {{true, -19.8f, false}, {true, landsOnMinusTwenty, true}, {true, -20.0f, true},
                 {false, 0.98f, false}, {false, landsOnOne, false},       {false, 1.0f, true}};
    for (const auto& step : steps) {
        scene->receding = step.receding;
        scene->approaching = !step.receding;
        scene->depth = step.start;
        onIdle();
        EXPECT_EQ(scene->receding, step.receding != step.phaseEnds) << step.start;
        EXPECT_EQ(scene->approaching, step.receding == step.phaseEnds) << step.start;
    }
}

TEST_F(CubeSceneTest, EnterRecedesAtOnceFromAnyPhase) {
    onKeyboard(13, 0, 0);
    onIdle();
    onKeyboard(13, 0, 0);
    EXPECT_TRUE(scene->receding);
    EXPECT_FALSE(scene->approaching) << "Enter while receding changes nothing";

    scene->receding = false;
    scene->approaching = true;
    scene->depth = -10.0f;
    onKeyboard(13, 0, 0);
    onIdle();
    EXPECT_TRUE(scene->approaching) << "Enter only sets receding";
    EXPECT_EQ(scene->depth, -10.0f - 0.1f);
    stepsWhile(scene->receding);
    EXPECT_TRUE(scene->approaching);
}

TEST_F(CubeSceneTest, LettersAndArrowsPickTheSameAxisAndOtherKeysNothing) {
    const struct {
        unsigned char letter;
        int arrow;
        int mode;
    } axes[] = {{'d', GLUT_KEY_LEFT, 0},
                {'e', GLUT_KEY_UP, 1},
                {'f', GLUT_KEY_RIGHT, 3},
                {'g', GLUT_KEY_DOWN, 2}};
    for (const auto& axis : axes) {
        scene->rotationMode = -1;
        onKeyboard(axis.letter, 0, 0);
        EXPECT_EQ(scene->rotationMode, axis.mode) << axis.letter;
        scene->rotationMode = -1;
        onSpecialKey(axis.arrow, 0, 0);
        EXPECT_EQ(scene->rotationMode, axis.mode) << "arrow " << axis.arrow;
    }

    // 'd' + 128 checks that a high character code is not sign-extended into 100.
    const unsigned char otherLetters[] = {'D', 'c', 'h', ' ', '\n', 'd' + 128};
    for (unsigned char key : otherLetters) {
        onKeyboard(key, 0, 0);
    }
    for (int key : {GLUT_KEY_F1, GLUT_KEY_PAGE_UP, GLUT_KEY_HOME}) {
        onSpecialKey(key, 0, 0);
    }
    onIdle();
    EXPECT_EQ(scene->rotationMode, 2);
    EXPECT_EQ(scene->depth, -2.8f) << "still";
}

TEST_F(CubeSceneTest, EscapeExitsWithStatusZero) {
    EXPECT_EXIT(onKeyboard(27, 0, 0), ::testing::ExitedWithCode(0), "");
}

TEST_F(CubeSceneTest, DisplayTranslatesThenRotatesAboutTheChosenAxis) {
    const double axes[][3] = {{0, 0, 1}, {1, 0, 0}, {1, 1, 0}, {1, 1, 1}};
    scene->angle = 30.0f;
    scene->depth = -5.0f;
    for (int mode = 0; mode < 4; ++mode) {
        scene->rotationMode = mode;
        onDisplay();
        SCOPED_TRACE(mode);
        expectMatrixNear(
            glMatrix(GL_MODELVIEW_MATRIX),
            translateRotate(-5.0f, 30.0f, axes[mode][0], axes[mode][1], axes[mode][2]));
    }
    scene->rotationMode = 4;
    onDisplay();
    expectMatrixNear(glMatrix(GL_MODELVIEW_MATRIX), translateRotate(-5.0f, 0.0f, 0, 0, 1));
}

TEST_F(CubeSceneTest, EachFrameDriftsOnceAndUsesItsOwnTexture) {
    TempFile file(quadrantBitmap());
    ASSERT_TRUE(scene->image.loadBitmap(file.path()));
    Image expected(file.path());
    for (int frame = 0; frame < 2; ++frame) {
        Noise sameNoise = Noise::shared();
        onDisplay();
        expected.drift(sameNoise);
        EXPECT_EQ(0, std::memcmp(scene->image.pixels, expected.pixels, 64 * 64 * 4)) << frame;
        EXPECT_NE(scene->textureId, 0u);
        EXPECT_FALSE(glIsTexture(scene->textureId)) << "deleted before the frame ends";
        EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    }
}

TEST_F(CubeSceneTest, FrontFaceFillsTheWindowUpright) {
    ASSERT_TRUE(scene->image.loadBitmap(TempFile(quadrantBitmap()).path()));
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    scene->display();
    EXPECT_EQ(pixelOnScreen(40, 40), (Rgb{255, 0, 0}));
    EXPECT_EQ(pixelOnScreen(600, 40), (Rgb{0, 255, 0}));
    EXPECT_EQ(pixelOnScreen(40, 440), (Rgb{0, 0, 255}));
    EXPECT_EQ(pixelOnScreen(600, 440), (Rgb{255, 255, 0}));
}

TEST_F(CubeSceneTest, WithoutPictureDrawsAWhiteUntexturedCube) {
    ASSERT_FALSE(scene->image.loadBitmap("no/such/file.bmp"));
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    scene->display();
    for (auto [x, y] : {std::pair{0, 0}, {320, 240}, {639, 479}}) {
        EXPECT_EQ(pixelOnScreen(x, y), (Rgb{255, 255, 255})) << x << ", " << y;
    }
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

TEST_F(CubeSceneTest, EveryIdleStepAsksForARedisplay) {
    // The toolkit draws only once the window is on screen: wait for a first frame.
    glutPostRedisplay();
    for (int round = 0; scene->textureId == 0 && round < 500; ++round) {
        glutMainLoopEvent();
        usleep(10000);
    }
    ASSERT_NE(scene->textureId, 0u) << "the window never showed";
    scene->textureId = 0;
    for (int round = 0; round < 5; ++round) {
        glutMainLoopEvent();
    }
    ASSERT_EQ(scene->textureId, 0u) << "no frame drawn unless asked for";
    onIdle();
    glutMainLoopEvent();
    EXPECT_NE(scene->textureId, 0u) << "the still cube is redrawn too";
}

// gluPerspective(45, aspect, near, far) as GL stores it.
void expectPerspective(double aspect) {
    const double f = 1 / std::tan(22.5 * M_PI / 180), nearPlane = 0.1f, farPlane = 100;
    Matrix expected{};
    expected[0] = float(f / aspect);
    expected[5] = float(f);
    expected[10] = float((farPlane + nearPlane) / (nearPlane - farPlane));
    expected[11] = -1;
    expected[14] = float(2 * farPlane * nearPlane / (nearPlane - farPlane));
    expectMatrixNear(glMatrix(GL_PROJECTION_MATRIX), expected);
}

TEST_F(CubeSceneTest, ReshapeKeepsA45DegreePerspective) {
    const struct {
        int width, height;
        double aspect;
        int viewportHeight;
    } sizes[] = {{640, 480, 640.0 / 480, 480},
                 {1000, 200, 5, 200},
                 {200, 1000, 0.2, 1000},
                 {640, 0, 640, 1}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(testing::Message() << size.width << " x " << size.height);
        onReshape(size.width, size.height);
        std::array<GLint, 4> viewport;
        glGetIntegerv(GL_VIEWPORT, viewport.data());
        EXPECT_EQ(viewport, (std::array<GLint, 4>{0, 0, size.width, size.viewportHeight}));
        expectPerspective(size.aspect);
        GLint mode = 0;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(mode, GL_MODELVIEW);
        expectMatrixNear(glMatrix(GL_MODELVIEW_MATRIX), translateRotate(0.0f, 0.0f, 0, 0, 1));
    }
}

TEST(GlutAppTest, WindowHasDestinationAlphaDepthAndTwoBuffers) {
    theApp();
    GLint alphaBits = 0, depthBits = 0, depthFunc = 0, shadeModel = 0;
    GLboolean doubleBuffered = GL_FALSE;
    glGetIntegerv(GL_ALPHA_BITS, &alphaBits);
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffered);
    glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
    glGetIntegerv(GL_SHADE_MODEL, &shadeModel);
    EXPECT_GT(alphaBits, 0);
    EXPECT_GT(depthBits, 0);
    EXPECT_TRUE(doubleBuffered);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(depthFunc, GL_LESS);
    EXPECT_EQ(shadeModel, GL_SMOOTH);
}

using Log = std::vector<std::string>;

// Records what the shell asks of it, and its own end.
class RecordingScene : public Scene {
  public:
    explicit RecordingScene(Log& log) : log_(log) {}
    ~RecordingScene() override { log_.push_back("destroyed"); }
    void display() override { log_.push_back("display"); }
    void keyPressed(int key, int, int) override { log_.push_back("key " + std::to_string(key)); }
    void idle() override { log_.push_back("idle"); }

  private:
    Log& log_;
};

TEST(GlutAppTest, OwnsTheCurrentSceneAndForwardsCallbacksToIt) {
    Log first, second;
    auto* a = new RecordingScene(first);
    auto* b = new RecordingScene(second);
    EXPECT_TRUE(theApp().setScene(a));
    EXPECT_TRUE(theApp().setScene(b));
    EXPECT_EQ(first, Log{"destroyed"});
    EXPECT_TRUE(theApp().setScene(b)) << "setting the current scene again keeps it";
    EXPECT_EQ(gCurrentScene, b);

    onDisplay();
    onKeyboard(200, 0, 0);
    onSpecialKey(GLUT_KEY_LEFT, 0, 0);
    onIdle();
    EXPECT_EQ(second, (Log{"display", "key 200", "key 100", "idle"}));

    EXPECT_TRUE(theApp().setScene(nullptr));
    EXPECT_EQ(second.back(), "destroyed");
    EXPECT_EQ(gCurrentScene, nullptr);
    onDisplay();
    onKeyboard('d', 0, 0);
    onSpecialKey(GLUT_KEY_UP, 0, 0);
    onIdle();
    EXPECT_EQ(second.size(), 5u) << "with no scene the callbacks do nothing";
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Death tests start a fresh copy of this program rather than forking one
    // that holds an X connection and a GL context.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    return RUN_ALL_TESTS();
}
