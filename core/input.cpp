#include "core/input.h"

#include "core/shared_state.h"
#include "core/track_control.h"

namespace core {

namespace {

bool inside(int32_t v, int32_t lowExclusive, int32_t highExclusive) {
    return v > lowExclusive && v < highExclusive;
}

// A track change resets the title's flight after the selection itself; the
// shell plays the selected track once its message drain is over.
void changeTrack(void (*step)()) {
    step();
    titleZoom = 0.0f;
}

void togglePause() {
    if (playback.output->isPaused()) {
        playback.output->resume();
    } else {
        playback.output->pause();
    }
}

bool requestQuit() {
    quitRequested = true;
    return true;
}

}  // namespace

Zone zoneAt(int32_t x, int32_t y) {
    if (inside(y, 40, 72)) {
        if (inside(x, 80, 106)) return Zone::previous;
        if (inside(x, 107, 138)) return Zone::pause;
        if (inside(x, 139, 171)) return Zone::resume;
        if (inside(x, 172, 206)) return Zone::next;
    }
    if (inside(x, 32, 41) && inside(y, 58, 67)) return Zone::close;
    return Zone::none;
}

void mouseMoved(int32_t x, int32_t y) {
    prevMouseX = mouseX;
    prevMouseY = mouseY;
    mouseX = x;
    mouseY = y;
}

bool leftButtonDown(int32_t x, int32_t y) {
    mouseMoved(x, y);
    switch (zoneAt(mouseX, mouseY)) {
        case Zone::previous:
            changeTrack(selectPreviousTrack);
            return false;
        case Zone::pause:
            playback.output->pause();
            return false;
        case Zone::resume:
            playback.output->resume();
            return false;
        case Zone::next:
            changeTrack(selectNextTrack);
            return false;
        case Zone::close:
            return requestQuit();
        case Zone::none:
            return false;
    }
    return false;
}

bool keyDown(uint32_t virtualKey, bool repeat) {
    MediaCommand command;
    if (mediaCommandOfKey(virtualKey, &command)) {
        const bool stepsTracks = command == MediaCommand::next || command == MediaCommand::previous;
        if (stepsTracks || !repeat) mediaCommand(command);
        return false;
    }
    switch (virtualKey) {
        case kKeyEscape:
            return requestQuit();
        case kKeyUp:
            changeTrack(selectPreviousTrack);
            return false;
        case kKeyDown:
            changeTrack(selectNextTrack);
            return false;
        case kKeySpace:
            if (!repeat) togglePause();
            return false;
        default:
            return false;
    }
}

bool mediaCommandOfKey(uint32_t virtualKey, MediaCommand* command) {
    switch (virtualKey) {
        case kKeyMediaNext:
            *command = MediaCommand::next;
            return true;
        case kKeyMediaPrevious:
            *command = MediaCommand::previous;
            return true;
        case kKeyMediaStop:
            *command = MediaCommand::stop;
            return true;
        case kKeyMediaPlayPause:
            *command = MediaCommand::playPause;
            return true;
        default:
            return false;
    }
}

void mediaCommand(MediaCommand command) {
    switch (command) {
        case MediaCommand::next:
            changeTrack(selectNextTrack);
            return;
        case MediaCommand::previous:
            changeTrack(selectPreviousTrack);
            return;
        case MediaCommand::playPause:
            togglePause();
            return;
        case MediaCommand::play:
            playback.output->resume();
            return;
        case MediaCommand::pause:
        case MediaCommand::stop:
            playback.output->pause();
            return;
    }
}

}  // namespace core
