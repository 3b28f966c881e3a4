#include "render/moves/logo_pulse.h"

#include <cmath>

#include "render/moves/timer_angle.h"

namespace render {

float logoWidthScale(uint32_t nowMs, int32_t copy) {
    return 2.0f * std::sin(timerAngle(nowMs, kTurnsPerWrapAtARadianPer300Ms) + 0.5f * float(copy));
}

float logoCopyOffset(int32_t copy) {
    return -0.25f * float(copy);
}

}  // namespace render
