#include "core/input.h"

#include "core/shared_state.h"
#include "core/track_control.h"

namespace core {

namespace {

bool inside(int32_t v, int32_t lowExclusive, int32_t highExclusive) {
    return v > lowExclusive && v < highExclusive;
}

// A track change resets the title's flight after the selection itself; the
// selected track plays once the message drain is over.
void selectNext(TrackControl& tracks) {
    tracks.selectNextTrack();
    titleZoom = 0.0f;
}

void selectPrevious(TrackControl& tracks) {
    tracks.selectPreviousTrack();
    titleZoom = 0.0f;
}

void togglePause(audio::MixerOutput& output) {
    if (output.isPaused()) {
        output.resume();
    } else {
        output.pause();
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

bool leftButtonDown(TrackControl& tracks, int32_t x, int32_t y) {
    mouseMoved(x, y);
    switch (zoneAt(mouseX, mouseY)) {
        case Zone::previous:
            selectPrevious(tracks);
            return false;
        case Zone::pause:
            tracks.output().pause();
            return false;
        case Zone::resume:
            tracks.output().resume();
            return false;
        case Zone::next:
            selectNext(tracks);
            return false;
        case Zone::close:
            return requestQuit();
        case Zone::none:
            return false;
    }
    return false;
}

bool keyDown(TrackControl& tracks, uint32_t virtualKey, bool repeat) {
    MediaCommand command;
    if (mediaCommandOfKey(virtualKey, &command)) {
        const bool stepsTracks = command == MediaCommand::next || command == MediaCommand::previous;
        if (stepsTracks || !repeat) mediaCommand(tracks, command);
        return false;
    }
    switch (virtualKey) {
        case kKeyEscape:
            return requestQuit();
        case kKeyUp:
            selectPrevious(tracks);
            return false;
        case kKeyDown:
            selectNext(tracks);
            return false;
        case kKeySpace:
            if (!repeat) togglePause(tracks.output());
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

void mediaCommand(TrackControl& tracks, MediaCommand command) {
    switch (command) {
        case MediaCommand::next:
            selectNext(tracks);
            return;
        case MediaCommand::previous:
            selectPrevious(tracks);
            return;
        case MediaCommand::playPause:
            togglePause(tracks.output());
            return;
        case MediaCommand::play:
            tracks.output().resume();
            return;
        case MediaCommand::pause:
        case MediaCommand::stop:
            tracks.output().pause();
            return;
    }
}

}  // namespace core
