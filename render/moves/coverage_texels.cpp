#include "render/moves/coverage_texels.h"

#include <cstddef>

namespace render {

namespace {

void copyCoverage(const uint8_t* pixel, uint8_t* texel) {
    texel[0] = pixel[0];
    texel[1] = pixel[1];
    texel[2] = pixel[2];
    texel[3] = pixel[0];
}

}  // namespace

void coverageToTexels(const uint8_t* image, int32_t width, int32_t height, uint8_t* texels) {
    const size_t count = size_t(width) * size_t(height);
    for (size_t i = 0; i < count; ++i) copyCoverage(image + i * 4, texels + i * 4);
}

void mirroredCoverageToTexels(const uint8_t* image, int32_t width, int32_t height, uint8_t* texels) {
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* pixelRow = image + size_t(row) * size_t(width) * 4;
        uint8_t* texelRow = texels + size_t(row) * size_t(width) * 4;
        for (int32_t column = 0; column < width; ++column) {
            copyCoverage(pixelRow + size_t(column) * 4, texelRow + size_t(width - 1 - column) * 4);
        }
    }
}

}  // namespace render
