#pragma once

// The program's own resources by type name and integer id: on Windows the
// executable's resource section, elsewhere the table compiled into the
// binary. Both hold the same bytes.

#include <cstdint>

namespace resources {

struct ResourceData {
    const uint8_t* bytes = nullptr;  // read-only, valid for the life of the program
    uint32_t size = 0;
};

// Empty (null bytes, size 0) when there is no such resource.
ResourceData findProgramResource(const char* type, int32_t id);

}  // namespace resources
