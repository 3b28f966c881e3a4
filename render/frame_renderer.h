#pragma once

// The scene: made once, then drawn whole on every pass of the frame loop.
// Back to front: the logo and the titles in perspective, the skin and the
// corner image over them in window pixels, and in a small viewport at the
// bottom left a spinning cube of crossfading noise with the ring of
// characters around it.

namespace render {

// How far the cube has turned, in degrees: 10 per second of frame time,
// never wrapped.
extern float cubeAngle;

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
