#pragma once

// The three animated layers made of textured squares: the pulsing logo, the
// title list with the selected title flying out, and the ring of characters
// around the cube. Each uses the projection, viewport, blending and texture
// environment renderFrame has set up, and leaves the model-view matrix as it
// found it.

#include <cstdint>

namespace render {

// The ring's turn within the current character step, 0..36 degrees, and the
// index in the scroll text of the character in ring slot 0 (only grows).
extern float scrollAngle;
extern int32_t scrollIndex;

// The logo word five times, one copy above the other, each pulsing in width.
void drawLogo();

// Every track title in a column; the current one flies forward, spinning
// in, with four tinted ghosts that swing with the last mouse movement.
// Advances titleZoom and draws one random15 value per title.
void drawTitles();

// Turns the ring by `seconds` and draws its ten characters around the
// cube's centre. Leaves the depth test enabled.
void drawScroller(float seconds);

// The 2 x 2 textured square centred on the origin, facing +z.
void drawUnitQuad();

}  // namespace render
