#pragma once

// Textures of text: the logo word, the track titles and the glyphs of the
// character ring. Alpha is the text's coverage, so the current colour tints
// them and blending lays them over the scene.

#include <cstdint>

namespace render {

// `text` drawn bold in `face` at `fontHeight`, centred on one line of a
// width x height texture. An ampersand marks the next character as a
// mnemonic ("&&" draws one).
uint32_t makeTextTexture(int32_t width, const char* text, int32_t height, const char* face,
                         int32_t fontHeight);

// titleTextures: each track's title in bold 16-pixel Arial on 256 x 256.
void makeTitleTextures();

// glyphTextures: codes 0 to 254, each drawn alone and centred on a
// width x height texture, mirrored left to right because the ring shows its
// near side from behind. An ampersand is drawn as itself here, since the
// message shows it.
void makeGlyphTextures(int32_t width, int32_t height, const char* face, int32_t fontHeight);

}  // namespace render
