#include "render/moves/targa.h"

#include <algorithm>
#include <cstddef>

namespace render {

namespace {

// ID length, colour-map type, image type 2, colour-map description, origin.
constexpr uint8_t kExpectedLeadingBytes[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};

uint32_t readUint16(const uint8_t* bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8;
}

}  // namespace

int decodeTarga(const uint8_t* bytes, uint32_t size, TargaImage& image) {
    if (bytes == nullptr || size < kTargaHeaderSize) return 0;
    if (!std::equal(std::begin(kExpectedLeadingBytes), std::end(kExpectedLeadingBytes), bytes)) return 0;
    const uint32_t width = readUint16(bytes + 12);
    const uint32_t height = readUint16(bytes + 14);
    if (width == 0 || height == 0) return 0;
    const uint32_t depth = bytes[16];
    if (depth != 24 && depth != 32) return 0;
    const uint32_t bytesPerPixel = depth / 8;
    // A truncated resource must not be read past its end.
    const uint64_t pixelBytes = uint64_t(width) * height * bytesPerPixel;
    if (uint64_t(size) - kTargaHeaderSize < pixelBytes) return 0;

    image.width = int32_t(width);
    image.height = int32_t(height);
    image.bytesPerPixel = int32_t(bytesPerPixel);
    image.pixels.assign(bytes + kTargaHeaderSize, bytes + kTargaHeaderSize + pixelBytes);
    // Stored blue, green, red(, alpha); OpenGL wants red first.
    for (size_t i = 0; i < image.pixels.size(); i += bytesPerPixel)
        std::swap(image.pixels[i], image.pixels[i + 2]);
    return 1;
}

}  // namespace render
