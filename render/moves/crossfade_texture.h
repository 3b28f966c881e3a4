#pragma once

// A small RGB picture that blends continuously from one generated frame to
// the next and generates a new frame each time a blend completes. This file
// is the arithmetic; crossfade_upload.h puts the result into a texture.

#include <cstdint>
#include <vector>

namespace render {

// Fills `height` rows of `width` texels of three floats (red, green, blue).
using FrameGenerator = void (*)(float* frame, int32_t width, int32_t height);

struct CrossfadeTexture {
    // width x height texels of three floats each, first row at the bottom.
    // The blend leaves fromFrame and approaches toFrame; blended is their mix.
    std::vector<float> fromFrame;
    std::vector<float> toFrame;
    std::vector<float> blended;
    // 0 shows fromFrame; after every step 0 <= blend < 1.
    float blend = 0.0f;
    // Increase of blend per second of frame time.
    float speed = 0.0f;
    // OpenGL texture name, GL_RGB.
    uint32_t texture = 0;
    int32_t width = 0;
    int32_t height = 0;
    FrameGenerator generate = nullptr;
};

// A record at blend 0 with all three buffers allocated, fromFrame and then
// toFrame filled by `generate`. The texture is left to the caller.
CrossfadeTexture makeCrossfadeFrames(int32_t height, int32_t width, float speed, FrameGenerator generate);

// Moves the blend on by seconds x speed and mixes the frames into blended.
// When the blend reaches 1 it restarts at exactly 0 from the frame it has
// reached, and a new frame is generated into the buffer it leaves: the
// picture stays continuous, and however long the step, the frames are
// exchanged only once. Allocates nothing.
void advanceCrossfade(CrossfadeTexture& crossfade, float seconds);

}  // namespace render
