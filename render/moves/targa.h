#pragma once

// Decoding of the uncompressed true-colour Targa images the program carries
// (the skin and the corner image) into pixels ready for OpenGL.

#include <cstdint>
#include <vector>

namespace render {

struct TargaImage {
    int32_t width = 0;
    int32_t height = 0;
    // 3 for red, green, blue; 4 with alpha after them.
    int32_t bytesPerPixel = 0;
    // Rows in stored order: the first stored row becomes the texture's first
    // (bottom) row, which suits images whose origin is at the bottom left.
    std::vector<uint8_t> pixels;
};

// Size of the header before the pixel data.
inline constexpr uint32_t kTargaHeaderSize = 18;

// Answers 1 and fills `image` when `bytes` hold an uncompressed 24- or 32-bit
// true-colour image without ID, colour map or origin offset, of non-zero size
// and with all the pixel data its header announces; answers 0 otherwise and
// leaves `image` as it was. The descriptor byte and the footer are not read.
int decodeTarga(const uint8_t* bytes, uint32_t size, TargaImage& image);

}  // namespace render
