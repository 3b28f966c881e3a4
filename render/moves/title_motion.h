#pragma once

// How the title list moves: the selected title flies out of the list and
// spins in, four tinted ghosts behind it swing with the last mouse movement,
// and its width flickers.

#include <cstdint>

namespace render {

// titleZoom at which the selected title has arrived.
inline constexpr float kTitleZoomArrived = 10.0f;
inline constexpr int32_t kTitleGhosts = 4;

// titleZoom after `seconds` more of flight: 5 per second, held at 10.
float advanceTitleZoom(float titleZoom, float seconds);

// Vertical place of title `index` in the list, 0.2 units apart.
float listTitleOffset(int32_t index);

// Where the selected title is drawn, relative to the list's origin: p, the
// share of the flight done, is titleZoom / 10 up to 1; the title moves from
// its list place to y = -0.5 and 2.4 units towards the viewer while turning
// once about the z and the y axis.
struct TitlePose {
    float y = 0.0f;
    float z = 0.0f;
    float turnDegrees = 0.0f;
};
TitlePose selectedTitlePose(int32_t index, float titleZoom);

// Blue of the ghosts, 0.4..0.8.
float highlightBlue(uint32_t nowMs);

// Pixels the mouse moved between its last two messages, left and up
// counting positive: the ghosts' swing follows it.
int32_t mouseTravel(int32_t mouseX, int32_t mouseY, int32_t prevMouseX, int32_t prevMouseY);

// Turn of ghost `ghost` (1..4) about the z axis, in degrees: 0.8 degrees per
// pixel of travel at most, each ghost in its own phase.
float ghostSwingDegrees(uint32_t nowMs, int32_t ghost, int32_t travel);

// Alpha of ghost `ghost`: the further back, the fainter.
float ghostAlpha(int32_t ghost);

// Width factor of the selected title, given a fresh draw of random15: it
// grows by up to 20 % over each second of the timer and falls back to 1 at
// every whole second and when the draw is 936 or less.
float titleFlicker(int32_t draw, uint32_t nowMs);

}  // namespace render
