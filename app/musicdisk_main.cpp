// veltrane::music: ten AHX tunes in a skinned window.
#include "app/entry.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return app::runMusicdisk();
}
