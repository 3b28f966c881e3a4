#pragma once

// The musicdisk from start to end: the window, the scene, the outline, the
// first track, the frame loop, and the teardown in order.

#include "ahx/player.h"
#include "ahx/wave_tables.h"
#include "audio/wave_out_device.h"
#include "shells/windows/gl_window.h"

namespace core {

// The three long-lived objects, made before the entry function runs: the
// waveform bank first, then the player, then the output device. They go in
// the reverse order at exit, so the device is released before the song.
extern ahx::WaveTables sharedWaveTables;
extern ahx::Player mainPlayer;
extern audio::WaveOutDevice outputDevice;

extern HWND mainWindow;
extern HDC mainDC;
extern HGLRC glContext;

// Runs the program and answers its exit code: 0 after a quit, 1 when the
// window or the skin's outline could not be set up (the user has then been
// shown why, and no sound has started).
int runMusicdisk();

}  // namespace core
