#pragma once

#include "image/Image.h"
#include "scene/Scene.h"

// A cube wearing img/logo.bmp on all six faces. Each frame the picture drifts
// and is uploaded as a fresh texture. Enter starts an endless fly-away and
// drift-back animation; the arrow keys (or d, e, f, g) choose the rotation axis.
class CubeScene : public Scene {
  public:
    // Loads img/logo.bmp from the working directory, and keeps it only when
    // the GL can hold it as a texture.
    CubeScene();

    void display() override;
    void keyPressed(int key, int x, int y) override;
    void reservedA(int, int) override {}
    void reservedB(int, int, int) override {}
    void reservedC(int, int, int) override {}
    void idle() override;

    float angle = 0.0f;  // degrees, within one turn (-360, 360)
    float spareA = 0.0f;
    float spareB = 0.0f;
    float depth = -2.8f;  // along z; negative is away from the viewer
    Image image;
    unsigned textureId = 0;  // lives for one frame only
    bool receding = false;
    bool approaching = false;
    int rotationMode = 0;  // 0: z, 1: x, 2: (1, 1, 0), 3: (1, 1, 1)

  protected:
    // Everything display() does after the drift: the picture as a fresh
    // texture and the cube in its pose. Apart so that a benchmark can time
    // frames without the drift.
    void drawFrame();
};
