#pragma once

// Every texture of the scene, made once by initScene and never deleted.

#include <array>
#include <cstdint>

#include "core/track_list.h"
#include "render/moves/crossfade_texture.h"

namespace render {

extern uint32_t skinTexture;
extern uint32_t cornerTexture;
extern uint32_t logoTexture;
// One per track, in track-list order.
extern std::array<uint32_t, core::trackCount> titleTextures;
// Indexed by character code; codes 0 to 254 have a glyph, slot 255 stays 0.
extern std::array<uint32_t, 256> glyphTextures;

// The noise of the cube's faces at three scales.
extern CrossfadeTexture noiseTexture2;
extern CrossfadeTexture noiseTexture4;
extern CrossfadeTexture noiseTexture16;

}  // namespace render
