#include "app/track_list.h"

namespace app {

// Both arrays are generated from the track table, resources/songs/tracks.txt.
const char* const trackTitles[trackCount] = {
#include "track_titles.inc"
};

const int32_t trackResourceIds[trackCount] = {
#include "track_resource_ids.inc"
};

}  // namespace app
