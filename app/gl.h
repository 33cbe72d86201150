#pragma once

// The one place that knows where this platform keeps its GL, GLU and GLUT
// headers; a port to another platform changes only this file.
#if defined(__APPLE__)
#define GL_SILENCE_DEPRECATION
#include <GLUT/glut.h>
#else
#include <GL/glut.h>
#endif
