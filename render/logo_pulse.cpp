#include "render/logo_pulse.h"

#include <cmath>

namespace render {

float logoWidthScale(uint32_t nowMs, int32_t copy) {
    return 2.0f * std::sin(float(nowMs) * 0.0033333334f + 0.5f * float(copy));
}

float logoCopyOffset(int32_t copy) {
    return -0.25f * float(copy);
}

}  // namespace render
