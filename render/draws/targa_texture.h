#pragma once

// Textures from the Targa images the program carries as resources.

#include <cstdint>

#include "render/moves/targa.h"

namespace render {

// What loadTargaTexture answers for a rejected image: all bits set. Bound
// like any other name, it draws its quad without an image.
inline constexpr uint32_t kRejectedTexture = 0xFFFFFFFFu;

// The texture of the image in the program's resource of type `resourceType`
// and integer id `resourceId`: RGB for 24 bits, RGBA for 32. Answers
// kRejectedTexture when there is no such resource or decodeTarga
// rejects it.
uint32_t loadTargaTexture(int32_t resourceId, const char* resourceType);

// A new texture holding `image`, linear filters, bound on return.
uint32_t uploadTargaTexture(const TargaImage& image);

}  // namespace render
