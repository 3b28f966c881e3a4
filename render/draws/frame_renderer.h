#pragma once

// The scene: made once, then drawn whole on every pass of the frame loop.
// Back to front: the logo and the titles in perspective, the skin and the
// corner image over them in window pixels, and in a small viewport at the
// bottom left a spinning cube of crossfading noise with the ring of
// characters around it.

#include <cmath>

namespace render {

// How far the cube has turned, in degrees: 10 per second of frame time.
extern float cubeAngle;

// cubeAngle after `seconds` more. It is kept below 3600, where the cube's
// three turns (1, 1.8 and 2.9 times it) are all whole turns at once. Left to
// grow, the float would round each frame's step ever more coarsely: the cube
// would jerk after a day or two of running and stand still after five.
inline float advanceCubeAngle(float angle, float seconds) {
    return std::fmod(angle + seconds * 10.0f, 3600.0f);
}

// All textures and the fixed OpenGL state; the window's context must be current.
void initScene();

// One frame into the back buffer. Allocates nothing.
void renderFrame();

// The skin over the whole window and the corner image at the bottom right.
void drawSkin();

// The cube's six faces, 2 units wide, with the bound texture.
void drawCube();

// The cube once with each noise texture, stepping each before it is drawn.
void drawCubeLayers();

}  // namespace render
