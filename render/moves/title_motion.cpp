#include "render/moves/title_motion.h"

#include <algorithm>
#include <cmath>

#include "render/moves/timer_angle.h"

namespace render {

float advanceTitleZoom(float titleZoom, float seconds) {
    const float zoom = titleZoom + seconds * 5.0f;
    return zoom > kTitleZoomArrived ? kTitleZoomArrived : zoom;
}

float listTitleOffset(int32_t index) {
    return -0.2f * float(index);
}

TitlePose selectedTitlePose(int32_t index, float titleZoom) {
    const float p = std::min(titleZoom * 0.1f, 1.0f);
    const float y0 = listTitleOffset(index);
    TitlePose pose;
    pose.y = y0 + (-0.5f - y0) * p;
    pose.z = 2.4f * p;
    pose.turnDegrees = 360.0f * p;
    return pose;
}

float highlightBlue(uint32_t nowMs) {
    return (std::sin(timerAngle(nowMs, kTurnsPerWrapAtARadianPer300Ms)) + 1.0f) * 0.2f + 0.4f;
}

int32_t mouseTravel(int32_t mouseX, int32_t mouseY, int32_t prevMouseX, int32_t prevMouseY) {
    return (prevMouseX - mouseX) + (prevMouseY - mouseY);
}

float ghostSwingDegrees(uint32_t nowMs, int32_t ghost, int32_t travel) {
    return std::sin(timerAngle(nowMs, 2 * kTurnsPerWrapAtARadianPer300Ms) + 2.3f * float(ghost)) *
           float(travel) * 0.8f;
}

float ghostAlpha(int32_t ghost) {
    return 1.0f - 0.2f * float(ghost);
}

float titleFlicker(int32_t draw, uint32_t nowMs) {
    if (draw > 936) return 1.0f + float(nowMs % 1000u) * 0.0002f;
    return 1.0f;
}

}  // namespace render
