#pragma once

// The window's icon on X11: the shipped picture at this side, made from
// img/logo.bmp at build time (app/CMakeLists.txt), red, green, blue and alpha
// for each pixel, rows top first.
constexpr int windowIconSide = 48;
extern const unsigned char windowIconPixels[windowIconSide * windowIconSide * 4];
