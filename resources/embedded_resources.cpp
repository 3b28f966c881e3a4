#include "resources/embedded_resources.h"

#include "embedded_resource_table.h"

namespace resources {

const uint8_t* findResource(std::string_view type, int id, size_t* size) {
    for (size_t i = 0; i < embeddedResourceCount; ++i) {
        const EmbeddedResource& entry = embeddedResources[i];
        if (entry.id == id && type == entry.type) {
            if (size != nullptr) {
                *size = entry.size;
            }
            return entry.bytes;
        }
    }
    if (size != nullptr) {
        *size = 0;
    }
    return nullptr;
}

}  // namespace resources
