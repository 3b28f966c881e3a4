#include "resource_files.h"

#include <fstream>
#include <iterator>

#include "resources/embedded_resources.h"

namespace testing_resources {

std::optional<Bytes> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::optional<Bytes> readSourceFile(const std::string& relativePath) {
    return readFile(std::string(VELTRANE_RESOURCES_DIR) + "/" + relativePath);
}

Bytes embedded(const char* type, int id) {
    size_t size = 0;
    const uint8_t* bytes = resources::findResource(type, id, &size);
    if (bytes == nullptr) {
        return {};
    }
    return Bytes(bytes, bytes + size);
}

int32_t readInt32(const Bytes& bytes, size_t offset) {
    return int32_t(uint32_t(bytes.at(offset)) | uint32_t(bytes.at(offset + 1)) << 8 |
                   uint32_t(bytes.at(offset + 2)) << 16 | uint32_t(bytes.at(offset + 3)) << 24);
}

uint16_t readUint16(const Bytes& bytes, size_t offset) {
    return uint16_t(bytes.at(offset) | bytes.at(offset + 1) << 8);
}

}  // namespace testing_resources
