#pragma once

// The scene: made once, then drawn whole on every pass of the frame loop.

namespace render {

// All textures and the fixed OpenGL state; the window's context must be current.
void initScene();
// One frame into the back buffer.
void renderFrame();

}  // namespace render
