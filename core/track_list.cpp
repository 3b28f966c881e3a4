#include "core/track_list.h"

namespace core {

const char diskName[] =
#include "disk_name.inc"
    ;

const char* const trackTitles[trackCount] = {
#include "track_titles.inc"
};

}  // namespace core
