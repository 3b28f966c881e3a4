// veltrane::music: ten AHX tunes in a skinned window.
#include "shells/windows/entry.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return windows::runMusicdisk();
}
