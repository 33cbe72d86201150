#pragma once

// The one place that knows where this platform keeps its GL, GLU and GLUT
// headers, and what its GL lacks; a port to another platform changes only
// this file and the shell (GlutApp.cpp, main.cpp).
#if defined(__APPLE__)
#define GL_SILENCE_DEPRECATION
#include <GLUT/glut.h>
#else
#include <GL/glut.h>
#endif

// X11 (XWayland under Wayland), where the shell ties its window to the
// program's menu entry through GLX and Xlib (GlutApp.cpp alone includes them:
// their macros, None and Bool among them, would reach every file here).
#if !defined(_WIN32) && !defined(__APPLE__) && !defined(__EMSCRIPTEN__)
#define ORVALIS_X11 1
#endif

// Windows, where the shell names its process for the task bar (Win32's
// headers, which GlutApp.cpp alone includes, for their macros too).
#if defined(_WIN32)
#define ORVALIS_WIN32 1
#endif

#if defined(__EMSCRIPTEN__)
// The browser: Emscripten's GLUT, and its OpenGL 1 emulation over WebGL.
#include <emscripten/emscripten.h>
#include <emscripten/eventloop.h>
#include <emscripten/html5.h>
// WebGL has no GL_CLAMP; GL_CLAMP_TO_EDGE looks the same for texture
// coordinates 0 to 1, which are all the cube uses.
#define ORVALIS_WRAP GL_CLAMP_TO_EDGE
// Nor proxy textures: the largest side it takes is all it can be asked.
#define ORVALIS_PROXY_TEXTURES 0
// WebGL always shades smoothly, and Emscripten's GL has no glShadeModel (it
// logs "TODO: glShadeModel"): the call is left out.
#define glShadeModel(mode) static_cast<void>(mode)
#else
// GL_CLAMP_TO_EDGE is OpenGL 1.2, which some platforms' headers lack.
#define ORVALIS_WRAP GL_CLAMP
#define ORVALIS_PROXY_TEXTURES 1
#endif
