#include "core/musicdisk.h"

#include "core/shared_state.h"

namespace core {

bool Musicdisk::start() {
    windowWidth = kWindowSize;
    windowHeight = kWindowSize;
    if (!shell_.openWindow()) return false;
    shell_.initScene();
    if (!shell_.shapeWindow()) {
        shell_.showSetupError("Unable to retrieve the skin.");
        shell_.closeWindow();
        return false;
    }

    // The tune is already playing when the window appears.
    currentTrack = 0;
    tracks_.startTrack(tracks_.resourceIdOf(0));
    shell_.showWindow();

    quitRequested = false;
    // The first frame lasts no time at all, rather than the whole uptime of
    // the timer.
    nowMs = shell_.timerMs();
    return true;
}

void Musicdisk::frame() {
    beginFrame(shell_.timerMs());
    shell_.drawFrame();
}

void Musicdisk::afterDrain() {
    if (!quitRequested) tracks_.playSelectedTrack();
}

void Musicdisk::quit() {
    quitRequested = true;
    tracks_.output().stop();
    tracks_.output().stopThread();
    shell_.closeWindow();
}

}  // namespace core
