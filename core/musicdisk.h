#pragma once

// The musicdisk from start to quit, written once for every shell: what is
// set up in which order, what a failed set-up leaves behind, what a frame
// does, when a selected track plays and how the sound and the window go at
// the end. What belongs to one system (its window, its OpenGL context, its
// timer, how it tells the user of a failure) the shell supplies through
// MusicdiskShell; the shell also runs the frame loop, since only it knows
// how its system hands out events and frames.

#include <cstdint>

#include "core/track_control.h"

namespace core {

// The window's client size in pixels, both ways.
inline constexpr int32_t kWindowSize = 256;

class MusicdiskShell {
public:
    virtual ~MusicdiskShell() = default;

    // The timer in milliseconds, wrapping at 2^32.
    virtual uint32_t timerMs() = 0;
    // Makes the window, still hidden, windowWidth by windowHeight, with an
    // OpenGL context current and the window's input bound to the track
    // control. On a failure the user has been told why.
    virtual bool openWindow() = 0;
    // Makes everything the scene draws with, in the current context.
    virtual void initScene() = 0;
    // Gives the window the skin's outline; false when the outline cannot be
    // had.
    virtual bool shapeWindow() = 0;
    // Shows the window; the first tune has started.
    virtual void showWindow() = 0;
    // Draws the frame just begun and presents it.
    virtual void drawFrame() = 0;
    // Tells the user why the musicdisk cannot start.
    virtual void showSetupError(const char* text) = 0;
    // Closes the window: after a set-up that failed once the window was
    // made, and at quit once the sound has stopped and its thread has ended.
    virtual void closeWindow() = 0;
};

class Musicdisk {
public:
    // Both must outlive the musicdisk.
    Musicdisk(MusicdiskShell& shell, TrackControl& tracks) : shell_(shell), tracks_(tracks) {}

    // Opens the window, makes the scene, shapes the window, starts the first
    // tune and shows the window, in that order. False when the window or the
    // outline could not be set up: the user has been told why, nothing has
    // started to sound, and the shell ends with exit code 1.
    bool start();
    // One frame at the timer's reading: the frame state moves on, and the
    // shell draws.
    void frame();
    // After each drain of the events (a single event on the page): however
    // many track changes it asked for, one restart plays the last; none
    // when the musicdisk is ending.
    void afterDrain();
    // Ends the musicdisk: the sound stops, its thread ends, and the window
    // closes. A track selected and not yet played is never played.
    void quit();

private:
    MusicdiskShell& shell_;
    TrackControl& tracks_;
};

}  // namespace core
