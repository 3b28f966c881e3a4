#include <windows.h>

#include "resources/program_resources.h"

namespace resources {

ResourceData findProgramResource(const char* type, int32_t id) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id & 0xFFFF), type);
    if (found == nullptr) return {};
    DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    if (loaded == nullptr) return {};
    // The resource section is mapped with the module: the bytes stay valid and
    // read-only for the life of the program.
    const void* bytes = LockResource(loaded);
    if (bytes == nullptr) return {};
    return {static_cast<const uint8_t*>(bytes), size};
}

}  // namespace resources
