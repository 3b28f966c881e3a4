#include "render/moves/random_frame.h"

#include "render/moves/random15.h"

namespace render {

void fillRandomFrame(float* frame, int32_t width, int32_t height) {
    for (int32_t row = 0; row < height; ++row) {
        for (int32_t column = 0; column < width; ++column) {
            for (int channel = 0; channel < 3; ++channel) *frame++ = float(random15()) * kRandomToUnit;
        }
    }
}

}  // namespace render
