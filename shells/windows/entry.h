#pragma once

// The musicdisk on Windows: its long-lived objects, its window and its frame
// loop around the start, frame and quit sequence of core/musicdisk.h.

#include "ahx/player.h"
#include "ahx/wave_tables.h"
#include "audio/wave_out_device.h"
#include "shells/windows/gl_window.h"

namespace windows {

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

}  // namespace windows
