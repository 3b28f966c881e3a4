#include "render/moves/crossfade_texture.h"

#include <cstddef>
#include <utility>

namespace render {

CrossfadeTexture makeCrossfadeFrames(int32_t height, int32_t width, float speed, FrameGenerator generate) {
    CrossfadeTexture crossfade;
    crossfade.width = width;
    crossfade.height = height;
    const size_t floats = size_t(width) * size_t(height) * 3;
    crossfade.fromFrame.assign(floats, 0.0f);
    crossfade.toFrame.assign(floats, 0.0f);
    crossfade.blended.assign(floats, 0.0f);
    crossfade.blend = 0.0f;
    crossfade.speed = speed;
    crossfade.generate = generate;
    generate(crossfade.fromFrame.data(), width, height);
    generate(crossfade.toFrame.data(), width, height);
    return crossfade;
}

void advanceCrossfade(CrossfadeTexture& crossfade, float seconds) {
    crossfade.blend = crossfade.blend + seconds * crossfade.speed;
    if (crossfade.blend >= 1.0f) {
        // The excess over 1 is dropped rather than carried, so the new
        // fromFrame is shown exactly once.
        crossfade.blend = 0.0f;
        std::swap(crossfade.fromFrame, crossfade.toFrame);
        crossfade.generate(crossfade.toFrame.data(), crossfade.width, crossfade.height);
    }
    const float keep = 1.0f - crossfade.blend;
    const float take = crossfade.blend;
    const float* from = crossfade.fromFrame.data();
    const float* to = crossfade.toFrame.data();
    float* blended = crossfade.blended.data();
    const size_t floats = crossfade.blended.size();
    for (size_t k = 0; k < floats; ++k) blended[k] = keep * from[k] + take * to[k];
}

}  // namespace render
