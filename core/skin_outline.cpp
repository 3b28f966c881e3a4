#include "core/skin_outline.h"

namespace core {

namespace {

constexpr size_t kHeaderSize = 32;
constexpr size_t kRectSize = 16;
constexpr uint32_t kRectangles = 1;

uint32_t word(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

bool readOutline(const uint8_t* bytes, size_t size, std::vector<OutlineRect>& rects) {
    rects.clear();
    if (bytes == nullptr || size < kHeaderSize) return false;
    if (word(bytes) != kHeaderSize || word(bytes + 4) != kRectangles) return false;
    const size_t count = word(bytes + 8);
    // Checked by division: the count comes from the block and could overflow
    // a product.
    if (count > (size - kHeaderSize) / kRectSize) return false;
    rects.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = bytes + kHeaderSize + i * kRectSize;
        OutlineRect r{int32_t(word(p)), int32_t(word(p + 4)), int32_t(word(p + 8)), int32_t(word(p + 12))};
        if (r.right > r.left && r.bottom > r.top) rects.push_back(r);
    }
    return true;
}

std::string outlinePath(const std::vector<OutlineRect>& rects) {
    std::string path;
    for (const OutlineRect& r : rects) {
        path += "M" + std::to_string(r.left) + " " + std::to_string(r.top) + "H" + std::to_string(r.right) +
                "V" + std::to_string(r.bottom) + "H" + std::to_string(r.left) + "Z";
    }
    return path;
}

}  // namespace core
