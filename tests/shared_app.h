#pragma once

#include "app/GlutApp.h"

// GLUT can be initialised once per process, so every test or benchmark in a
// program shares this window; the first call makes it, with the given title.
inline GlutApp& sharedApp(const char* title = "orvalis tests") {
    static int argc = 1;
    static char name[] = "orvalis";
    static char* argv[] = {name, nullptr};
    static GlutApp app(&argc, argv, title, 0, 0, 640, 480);
    return app;
}
