#include "render/frame_renderer.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// windows.h first: gl.h needs its calling conventions.
#include <GL/gl.h>

namespace render {

void initScene() {
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
}

void renderFrame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

}  // namespace render
