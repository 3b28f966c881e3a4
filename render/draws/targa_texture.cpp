#include "render/draws/targa_texture.h"

#include "render/draws/gl_api.h"
#include "resources/program_resources.h"

namespace render {

uint32_t loadTargaTexture(int32_t resourceId, const char* resourceType) {
    const resources::ResourceData resource = resources::findProgramResource(resourceType, resourceId);
    TargaImage image;
    if (!decodeTarga(resource.bytes, resource.size, image)) return kRejectedTexture;
    return uploadTargaTexture(image);
}

uint32_t uploadTargaTexture(const TargaImage& image) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, float(GL_LINEAR));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, float(GL_LINEAR));
    const GLenum format = image.bytesPerPixel == 4 ? GL_RGBA : GL_RGB;
    // Rows of 3-byte pixels are packed: with OpenGL's default 4-byte row
    // alignment a width that is not a multiple of 4 would shear the picture
    // and read past the end of the pixels.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GLint(format), image.width, image.height, 0, format, GL_UNSIGNED_BYTE,
                 image.pixels.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    return name;
}

}  // namespace render
