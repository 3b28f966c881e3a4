#include "core/shared_state.h"

namespace core {

int32_t windowWidth = 0;
int32_t windowHeight = 0;
uint32_t nowMs = 0;
uint32_t prevMs = 0;
float frameSeconds = 0.0f;
int32_t mouseX = 0;
int32_t mouseY = 0;
int32_t prevMouseX = 0;
int32_t prevMouseY = 0;
int32_t currentTrack = 0;
float titleZoom = 0.0f;
bool quitRequested = false;

// Generated from the pack's scroll text.
const char scrollText[] =
#include "scroll_text.inc"
    ;
const int32_t scrollTextLength = int32_t(sizeof(scrollText) - 1);

void beginFrame(uint32_t now) {
    prevMs = nowMs;
    nowMs = now;
    frameSeconds = float(double(nowMs - prevMs) * 0.001);
}

}  // namespace core
