#pragma once

#include <string>

class Image;
class Scene;

// The platform side of the demo: one GLUT window with its GL context, the
// callbacks that forward toolkit events to the current scene, and the texture
// calls a scene makes each frame. Exactly one exists, in main's frame.
class GlutApp {
  public:
    // Creates the window and its GL context and registers the callbacks.
    GlutApp(int* argcp, char** argv, std::string title, int x, int y, int width, int height);
    // Destroys the current scene, if any.
    ~GlutApp();

    GlutApp(const GlutApp&) = delete;
    GlutApp& operator=(const GlutApp&) = delete;

    void initGL();
    // Takes ownership of scene (null allowed) and destroys the one it replaces.
    bool setScene(Scene* scene);
    // Enters the toolkit's main loop, which normally ends the process itself.
    int run();

    // Lets go of the image's picture when the GL cannot hold it as a texture,
    // and says so in one line on standard output, naming the picture's size
    // and the GL's limit. A scene then draws as without a picture.
    void dropIfTooLarge(Image& image);

    void genTextures(int count, unsigned* ids);
    // Binds ids[index], uploads the whole image into it and enables texturing.
    bool uploadTexture(const Image& image, const unsigned* ids, int index);
    bool deleteTextures(const unsigned* ids, int count);
};

extern GlutApp* gApp;
extern Scene* gCurrentScene;

void onDisplay();
void onReshape(int width, int height);
void onKeyboard(unsigned char key, int x, int y);
void onSpecialKey(int key, int x, int y);
void onIdle();
