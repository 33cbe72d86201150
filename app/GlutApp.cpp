#include "app/GlutApp.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "app/gl.h"
#include "image/Image.h"
#include "scene/Scene.h"

#if ORVALIS_X11
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <vector>

#include "app/WindowIcon.h"
#endif

#if ORVALIS_WIN32
#include <windows.h>
// After windows.h, which it builds on.
#include <shobjidl.h>
#endif

GlutApp* gApp = nullptr;
Scene* gCurrentScene = nullptr;

namespace {

#if ORVALIS_X11
// Ties the window to the menu entry that started it, as docks and task bars
// match them: WM_CLASS "orvalis" (the entry's StartupWMClass), the process in
// _NET_WM_PID, and the shipped picture's icon in _NET_WM_ICON, which they
// show before or without the entry's.
void tieToMenuEntry() {
    Display* display = glXGetCurrentDisplay();
    const Window window = glXGetCurrentDrawable();
    if (!display || !window) {
        return;
    }
    char name[] = "orvalis";
    XClassHint hint{name, name};
    XSetClassHint(display, window, &hint);
    // Xlib takes 32-bit properties as longs.
    const long pid = long(getpid());
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
    // Its side, then each pixel as alpha, red, green, blue, rows top first.
    std::vector<long> icon{windowIconSide, windowIconSide};
    for (int i = 0; i < windowIconSide * windowIconSide; ++i) {
        const unsigned char* rgba = &windowIconPixels[i * 4];
        icon.push_back(long(rgba[3]) << 24 | long(rgba[0]) << 16 | long(rgba[1]) << 8 | rgba[2]);
    }
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_ICON", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(icon.data()),
                    int(icon.size()));
    XFlush(display);
}
#else
void tieToMenuEntry() {}
#endif

}  // namespace

GlutApp::GlutApp(int* argcp, char** argv, std::string title, int x, int y, int width, int height) {
    // On Windows, freeglut's header turns glutInit and glutCreateWindow into
    // calls that hand the toolkit this program's exit (__glutInitWithExit), so
    // that when the toolkit ends the process, this C runtime's exit handlers run.
    glutInit(argcp, argv);
#if ORVALIS_WIN32
    // Before any window: the task bar groups its windows under the
    // Start-menu shortcut that carries the same ID, pinned or not.
    SetCurrentProcessExplicitAppUserModelID(L"" ORVALIS_WINDOWS_APP_ID);
#endif
#if defined(__EMSCRIPTEN__)
    // A page shows through a canvas's alpha, which here would be the picture's
    // noise: the canvas has none, so it is as opaque as a window.
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
#else
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_ALPHA | GLUT_DEPTH);
#endif
    glutInitWindowSize(width, height);
    glutInitWindowPosition(x, y);
    glutCreateWindow(title.c_str());
    tieToMenuEntry();
    initGL();
    glutReshapeFunc(onReshape);
    glutKeyboardFunc(onKeyboard);
    glutSpecialFunc(onSpecialKey);
#if !defined(__EMSCRIPTEN__)
    // In the browser run() paces the frames instead.
    glutDisplayFunc(onDisplay);
    glutIdleFunc(onIdle);
#endif
    gApp = this;
}

GlutApp::~GlutApp() {
    delete gCurrentScene;
}

void GlutApp::initGL() {
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glDepthFunc(GL_LESS);
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // The scene loads the model-view matrix itself every frame.
    glMatrixMode(GL_MODELVIEW);
}

bool GlutApp::setScene(Scene* scene) {
    if (scene != gCurrentScene) {
        delete gCurrentScene;
        gCurrentScene = scene;
    }
    return true;
}

int GlutApp::run() {
#if defined(__EMSCRIPTEN__)
    // Emscripten's GLUT calls the idle function every 4 ms, whatever the frame
    // rate, and draws only when the browser shows a frame. Here one frame and
    // one idle step are taken each time the browser shows a frame instead, as
    // glutMainLoop does on a desktop with vertical sync: the animation runs at
    // one step per displayed frame. (emscripten_set_main_loop would pace them
    // the same, but it keeps the runtime alive, so exit() would not end it.)
    static bool running = true;
    std::atexit([] { running = false; });
    onReshape(glutGet(GLUT_WINDOW_WIDTH), glutGet(GLUT_WINDOW_HEIGHT));
    emscripten_request_animation_frame_loop(
        [](double, void*) -> EM_BOOL {
            if (running) {
                onDisplay();
                onIdle();
            }
            return running;
        },
        nullptr);
    // Back to the browser without returning, as glutMainLoop does not return:
    // main's frame, where the app lives, stays.
    emscripten_unwind_to_js_event_loop();
#else
    glutMainLoop();
#endif
    return 0;
}

void GlutApp::dropIfTooLarge(Image& image) {
    if (!image.pixels) {
        return;
    }
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    const bool tooLarge = std::max(image.width, image.height) > largest;
#if ORVALIS_PROXY_TEXTURES
    // A proxy texture is asked instead of GL_MAX_TEXTURE_SIZE alone, as it
    // also knows whether the GL has the memory for one of this size. A picture
    // it refuses would otherwise fail to upload every frame without a word.
    glTexImage2D(GL_PROXY_TEXTURE_2D, 0, GL_RGBA, image.width, image.height, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, nullptr);
    GLint width = 0;
    glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    if (width != 0) {
        return;
    }
#else
    if (!tooLarge) {
        return;
    }
#endif
    std::cout << "Picture " << image.width << " x " << image.height;
    if (tooLarge) {
        std::cout << " is too large for this OpenGL (at most " << largest << " on a side)\n";
    } else {
        std::cout << " cannot be a texture in this OpenGL\n";
    }
    image.clear();
}

void GlutApp::genTextures(int count, unsigned* ids) {
    // Image rows are tightly packed, whatever their width.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glGenTextures(count, ids);
}

bool GlutApp::uploadTexture(const Image& image, const unsigned* ids, int index) {
    glBindTexture(GL_TEXTURE_2D, ids[index]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, ORVALIS_WRAP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, ORVALIS_WRAP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, image.width, image.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 image.pixels);
    glEnable(GL_TEXTURE_2D);
    return true;
}

bool GlutApp::deleteTextures(const unsigned* ids, int count) {
    glDeleteTextures(count, ids);
    return true;
}

// Clears the window, lets the scene draw and shows the result.
void onDisplay() {
    if (!gCurrentScene) {
        return;
    }
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gCurrentScene->display();
    glutSwapBuffers();
}

// Keeps a 45 degree perspective over the whole window at its new size.
void onReshape(int width, int height) {
    if (height == 0) {
        height = 1;
    }
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, double(width) / double(height), double(0.1f), 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// Hands an ordinary key to the scene as its character code.
void onKeyboard(unsigned char key, int x, int y) {
    if (gCurrentScene) {
        gCurrentScene->keyPressed(key, x, y);
    }
}

// Hands a special key to the scene as GLUT's code, in the same code space.
void onSpecialKey(int key, int x, int y) {
    if (gCurrentScene) {
        gCurrentScene->keyPressed(key, x, y);
    }
}

// Lets the scene take its idle step, which also asks for the next frame.
void onIdle() {
    if (gCurrentScene) {
        gCurrentScene->idle();
    }
}
