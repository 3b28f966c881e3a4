#pragma once

// The table that the build generates from the files under resources/.

#include <cstddef>
#include <cstdint>

namespace resources {

struct EmbeddedResource {
    const char* type;
    int id;
    const uint8_t* bytes;
    size_t size;
};

extern const EmbeddedResource embeddedResources[];
extern const size_t embeddedResourceCount;

}  // namespace resources
