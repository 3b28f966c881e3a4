#include "resources/embedded_resources.h"
#include "resources/program_resources.h"

namespace resources {

ResourceData findProgramResource(const char* type, int32_t id) {
    size_t size = 0;
    const uint8_t* bytes = findResource(type, id, &size);
    if (bytes == nullptr) return {};
    return {bytes, uint32_t(size)};
}

}  // namespace resources
