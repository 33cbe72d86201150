#include <string>

#include "app/GlutApp.h"
#include "scene/CubeScene.h"

int main(int argc, char** argv) {
    std::string title = "orvalis [ press enter to start trippin ]";
    GlutApp app(&argc, argv, title, 0, 0, 640, 480);
    app.setScene(new CubeScene());
    app.run();
    return 0;
}
