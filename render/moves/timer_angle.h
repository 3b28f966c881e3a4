#pragma once

#include <cstdint>

namespace render {

// Angle in radians, 0 to 2 pi, at timer reading nowMs of a motion that turns
// `turnsPerWrap` whole times while the timer counts through its 2^32 ms.
// The product wraps exactly at 2^32, which leaves just the fraction of a
// turn: precise at any uptime, where float(nowMs) would step by 128 ms and
// more after 12 days; and as the wrap is a whole number of turns, the motion
// runs on smoothly through it.
inline float timerAngle(uint32_t nowMs, uint32_t turnsPerWrap) {
    const uint32_t fraction = nowMs * turnsPerWrap;
    return float(double(fraction) * (6.283185307179586 / 4294967296.0));
}

// A radian per 300 ms (a turn per 600 pi ms), to 4 parts in 10^8.
inline constexpr uint32_t kTurnsPerWrapAtARadianPer300Ms = 2278551;

}  // namespace render
