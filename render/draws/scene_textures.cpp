#include "render/draws/scene_textures.h"

namespace render {

uint32_t skinTexture = 0;
uint32_t cornerTexture = 0;
uint32_t logoTexture = 0;
std::array<uint32_t, core::trackCount> titleTextures{};
std::array<uint32_t, 256> glyphTextures{};
CrossfadeTexture noiseTexture2;
CrossfadeTexture noiseTexture4;
CrossfadeTexture noiseTexture16;

}  // namespace render
