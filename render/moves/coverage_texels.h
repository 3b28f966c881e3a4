#pragma once

// Text is drawn white on black into a 32-bit image; these turn such an image
// into RGBA texels whose alpha is the text's coverage, so that the text can
// be blended over the scene and coloured by the current colour.

#include <cstdint>

namespace render {

// `image` holds `height` rows of `width` 32-bit pixels whose first three bytes
// are blue, green and red; `texels` receives as many 4-byte texels. Each
// texel is (b, g, r, b): white-on-black text has b = g = r, which makes
// alpha equal to the grey level. Rows and columns keep their places.
void coverageToTexels(const uint8_t* image, int32_t width, int32_t height, uint8_t* texels);

// The same, mirrored left to right: texel column 0 holds the image's
// rightmost column. A glyph made so reads correctly on a square seen from
// behind.
void mirroredCoverageToTexels(const uint8_t* image, int32_t width, int32_t height, uint8_t* texels);

}  // namespace render
