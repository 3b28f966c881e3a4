#include "render/draws/text_textures.h"

#include <cstddef>
#include <vector>

#include "core/track_list.h"
#include "render/draws/gl_api.h"
#include "render/draws/scene_textures.h"
#include "render/draws/text_canvas.h"
#include "render/moves/coverage_texels.h"

namespace render {

namespace {

constexpr int32_t kGlyphCount = 255;

GLuint uploadCoverageTexture(int32_t width, int32_t height, const uint8_t* texels) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    return name;
}

}  // namespace

uint32_t makeTextTexture(int32_t width, const char* text, int32_t height, const char* face,
                         int32_t fontHeight) {
    TextCanvas canvas(width, height, face, fontHeight);
    canvas.drawCentred(text, Ampersand::marksNextCharacter);
    std::vector<uint8_t> texels(size_t(width) * size_t(height) * 4);
    coverageToTexels(canvas.pixels(), width, height, texels.data());
    return uploadCoverageTexture(width, height, texels.data());
}

void makeTitleTextures() {
    for (int32_t i = 0; i < core::trackCount; ++i) {
        titleTextures[size_t(i)] = makeTextTexture(256, core::trackTitles[i], 256, "Arial", -16);
    }
}

void makeGlyphTextures(int32_t width, int32_t height, const char* face, int32_t fontHeight) {
    TextCanvas canvas(width, height, face, fontHeight);
    std::vector<uint8_t> texels(size_t(width) * size_t(height) * 4);
    for (int32_t code = 0; code < kGlyphCount; ++code) {
        // Code 0 gives the empty string: its glyph stays blank.
        const char text[2] = {char(code), '\0'};
        canvas.drawCentred(text, Ampersand::drawn);
        mirroredCoverageToTexels(canvas.pixels(), width, height, texels.data());
        canvas.clear();
        glyphTextures[size_t(code)] = uploadCoverageTexture(width, height, texels.data());
    }
}

}  // namespace render
