#include "render/moves/scroll_ring.h"

#include <cmath>

namespace render {

void advanceScroll(float& scrollAngle, int32_t& scrollIndex, float seconds) {
    scrollAngle = scrollAngle + seconds * 80.0f;
    if (scrollAngle > kRingSlotDegrees) {
        scrollAngle = 0.0f;
        scrollIndex += 1;
    }
}

float ringSlotAngle(int32_t slot, float scrollAngle) {
    return kRingSlotDegrees * float(slot) - scrollAngle;
}

float ringSlotStretch(float angle) {
    return 2.0f - std::fabs(angle - 180.0f) / 90.0f;
}

bool ringSlotDepthTested(int32_t slot) {
    return slot < 3 || slot > 7;
}

uint8_t ringSlotCode(const char* text, int32_t length, int32_t scrollIndex, int32_t slot) {
    if (length <= 0) return 0;
    const uint32_t position = (uint32_t(scrollIndex) + uint32_t(slot)) % uint32_t(length);
    return uint8_t(text[position]);
}

}  // namespace render
