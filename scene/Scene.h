#pragma once

// What the window shell drives: one drawing operation, one key operation, one
// idle step, and three hooks that no caller uses yet.
class Scene {
  public:
    // Draws one frame between the shell's clear and its buffer swap.
    virtual void display() = 0;
    // key is a character code (0-255) or a GLUT special-key code, in one code space.
    virtual void keyPressed(int key, int x, int y) = 0;
    virtual void reservedA(int, int) {}
    virtual void reservedB(int, int, int) {}
    virtual void reservedC(int, int, int) {}
    // Called whenever the toolkit has nothing else to do.
    virtual void idle() = 0;

    // The shell owns scenes through this interface and deletes them through it.
    virtual ~Scene() = default;
};
