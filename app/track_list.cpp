#include "app/track_list.h"

namespace app {

// The titles come from resources/songs/titles.txt, one line per track, turned
// into string literals by the build.
const char* const trackTitles[trackCount] = {
#include "track_titles.inc"
};

const int32_t trackResourceIds[trackCount] = {126, 127, 128, 129, 130, 131, 132, 136, 137, 139};

}  // namespace app
