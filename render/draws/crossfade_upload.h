#pragma once

// The crossfade textures on the OpenGL side: a float RGB texture that shows
// a CrossfadeTexture's mix.

#include <cstdint>

#include "render/moves/crossfade_texture.h"

namespace render {

// A new record (frames filled by `generate`, fromFrame first) with its
// texture defined at width x height. The current context must be current.
CrossfadeTexture makeCrossfadeTexture(int32_t height, int32_t width, float speed, FrameGenerator generate);

// Advances the record by `seconds` and replaces the texture's image with the
// new mix, in place; leaves the texture bound. Allocates nothing.
void stepCrossfadeTexture(CrossfadeTexture& crossfade, float seconds);

}  // namespace render
