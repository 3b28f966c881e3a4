#include "render/draws/crossfade_upload.h"

#include "render/draws/gl_api.h"

namespace render {

CrossfadeTexture makeCrossfadeTexture(int32_t height, int32_t width, float speed, FrameGenerator generate) {
    CrossfadeTexture crossfade = makeCrossfadeFrames(height, width, speed, generate);
    GLuint name = 0;
    glGenTextures(1, &name);
    crossfade.texture = name;
    glBindTexture(GL_TEXTURE_2D, name);
    // Defines the storage only: the first step rewrites the image before the
    // texture is first drawn.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, width, height, 0, GL_RGB, GL_FLOAT, crossfade.blended.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    return crossfade;
}

void stepCrossfadeTexture(CrossfadeTexture& crossfade, float seconds) {
    advanceCrossfade(crossfade, seconds);
    glBindTexture(GL_TEXTURE_2D, crossfade.texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, crossfade.width, crossfade.height, GL_RGB, GL_FLOAT,
                    crossfade.blended.data());
}

}  // namespace render
