#include "app/track_list.h"

namespace app {

const char diskName[] =
#include "disk_name.inc"
    ;

const char* const trackTitles[trackCount] = {
#include "track_titles.inc"
};

}  // namespace app
