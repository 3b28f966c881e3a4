#pragma once

// The program's resources for the native build: the same bytes that the
// Windows executable carries through musicdisk.rc, compiled into the binary.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace resources {

// Types in use: "AHX" (the ten songs), "SKIN" 101, "TGA" 109, "SKINREGION" 111
// and "ICON" 135 (the whole .ico file). Answers the resource's bytes and stores
// their count in *size (if size is not null); answers nullptr and a size of 0
// when no resource has that type and id. The bytes live as long as the program.
const uint8_t* findResource(std::string_view type, int id, size_t* size);

}  // namespace resources
