#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testing_resources {

using Bytes = std::vector<uint8_t>;

// A file under resources/ in the source tree, or nothing when it is absent.
std::optional<Bytes> readSourceFile(const std::string& relativePath);
std::optional<Bytes> readFile(const std::string& path);

// The embedded resource of that type and id as a byte vector (empty when absent).
Bytes embedded(const char* type, int id);

int32_t readInt32(const Bytes& bytes, size_t offset);
uint16_t readUint16(const Bytes& bytes, size_t offset);

// Half-open rectangle in window pixels, y downwards.
struct Rect {
    int32_t left, top, right, bottom;
};

// The click zones of the window procedure.
inline constexpr Rect clickZones[] = {
    {81, 41, 106, 72},   // previous
    {108, 41, 138, 72},  // pause
    {140, 41, 171, 72},  // resume
    {173, 41, 206, 72},  // next
    {33, 59, 41, 67},    // close
};

}  // namespace testing_resources
