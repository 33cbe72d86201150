#include "scene/CubeScene.h"

#include <cmath>
#include <cstdlib>
#include <string>

#include "app/GlutApp.h"
#include "app/gl.h"

namespace {

#if defined(_WIN32)
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

std::string logoPath() {
    return std::string("img") + kPathSeparator + "logo.bmp";
}

// Ordinary character codes and GLUT's special-key codes share one code space,
// so each arrow key has a letter twin.
static_assert('d' == GLUT_KEY_LEFT && 'e' == GLUT_KEY_UP && 'f' == GLUT_KEY_RIGHT &&
                  'g' == GLUT_KEY_DOWN,
              "the letters d e f g double as the arrow keys");

constexpr int kEscape = 27;
constexpr int kEnter = 13;

struct Corner {
    float s, t, x, y, z;
};

// The 2 x 2 x 2 cube around the origin, one face per line. Texture (0, 0) is
// the picture's bottom-left pixel, so the front face shows it upright.
constexpr Corner kCube[24] = {
    {0, 0, -1, -1, 1},  {1, 0, 1, -1, 1},  {1, 1, 1, 1, 1},  {0, 1, -1, 1, 1},   // front
    {1, 0, -1, -1, -1}, {1, 1, -1, 1, -1}, {0, 1, 1, 1, -1}, {0, 0, 1, -1, -1},  // back
    {0, 1, -1, 1, -1},  {0, 0, -1, 1, 1},  {1, 0, 1, 1, 1},  {1, 1, 1, 1, -1},   // top
    {1, 1, -1, -1, -1}, {0, 1, 1, -1, -1}, {0, 0, 1, -1, 1}, {1, 0, -1, -1, 1},  // bottom
    {1, 0, 1, -1, -1},  {1, 1, 1, 1, -1},  {0, 1, 1, 1, 1},  {0, 0, 1, -1, 1},   // right
    {0, 0, -1, -1, -1}, {1, 0, -1, -1, 1}, {1, 1, -1, 1, 1}, {0, 1, -1, 1, -1},  // left
};

void drawCube() {
    glBegin(GL_QUADS);
    for (const Corner& c : kCube) {
        glTexCoord2f(c.s, c.t);
        glVertex3f(c.x, c.y, c.z);
    }
    glEnd();
}

}  // namespace

CubeScene::CubeScene() : image(logoPath()) {
    // Before the first frame: a picture too large to upload leaves the cube white.
    gApp->dropIfTooLarge(image);
}

void CubeScene::display() {
    image.drift();
    drawFrame();
}

void CubeScene::drawFrame() {
    // Without a picture the cube is drawn plain white and texturing stays off.
    const bool textured = image.pixels != nullptr;
    if (textured) {
        gApp->genTextures(1, &textureId);
        gApp->uploadTexture(image, &textureId, 0);
    }

    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, depth);
    switch (rotationMode) {
        case 0:
            glRotatef(angle, 0.0f, 0.0f, 1.0f);
            break;
        case 1:
            glRotatef(angle, 1.0f, 0.0f, 0.0f);
            break;
        case 2:
            glRotatef(angle, 1.0f, 1.0f, 0.0f);
            break;
        case 3:
            glRotatef(angle, 1.0f, 1.0f, 1.0f);
            break;
        default:
            break;
    }

    if (textured) {
        glBindTexture(GL_TEXTURE_2D, textureId);
    }
    drawCube();
    if (textured) {
        gApp->deleteTextures(&textureId, 1);
    }
}

void CubeScene::keyPressed(int key, int /*x*/, int /*y*/) {
    switch (key) {
        case kEscape:
            std::exit(0);
        case kEnter:
            receding = true;
            break;
        case GLUT_KEY_LEFT:
            rotationMode = 0;
            break;
        case GLUT_KEY_UP:
            rotationMode = 1;
            break;
        // Right and Down pick the two diagonals, in crossed order.
        case GLUT_KEY_RIGHT:
            rotationMode = 3;
            break;
        case GLUT_KEY_DOWN:
            rotationMode = 2;
            break;
        default:
            break;
    }
}

void CubeScene::idle() {
    // One step per idle call, in single precision: the step counts of each
    // phase depend on how the float sums round. The angle is kept within one
    // turn, where a float holds every whole degree exactly: unbounded, it would
    // pass 2^24 after hours and the steps would round away until the cube
    // stopped turning. Whole turns leave each pose as it was.
    if (receding) {
        angle = std::fmod(angle + 3.0f, 360.0f);
        depth = depth - 0.1f;
        if (depth <= -20.0f) {
            receding = false;
            approaching = true;
        }
    } else if (approaching) {
        depth = depth + 0.01f;
        angle = std::fmod(angle - 6.0f, 360.0f);
        if (depth > 1.0f) {
            approaching = false;
            receding = true;
        }
    }
    glutPostRedisplay();
}
