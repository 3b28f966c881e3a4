// veltrane::music in a web page: the Windows program's start-up order and
// frame loop, with the page as its window, the browser's events as its
// messages and Web Audio as its sound device.
#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <cmath>
#include <string>
#include <vector>

#include "ahx/player.h"
#include "ahx/wave_tables.h"
#include "audio/queued_block_output.h"
#include "core/input.h"
#include "core/shared_state.h"
#include "core/skin_outline.h"
#include "core/track_control.h"
#include "core/track_list.h"
#include "render/draws/frame_renderer.h"
#include "resource_ids.h"
#include "resources/program_resources.h"
#include "shells/web/gl11_webgl.h"
#include "shells/web/web_sound_sink.h"

// The page's side of the window (shells/web/shell.js).
// clang-format off
EM_JS(void, shapeWindow, (const char* path), { Module.shell.shape(UTF8ToString(path)); });
EM_JS(void, showWindow, (), { Module.shell.show(); });
EM_JS(void, noteFirstFrame, (), { Module.shell.firstFrameDrawn = performance.now(); });
EM_JS(void, useIcon, (const uint8_t* bytes, int size), {
    var icon = new Blob([HEAPU8.slice(bytes, bytes + size)], {type: "image/x-icon"});
    document.getElementById("icon").href = URL.createObjectURL(icon);
});
EM_JS(void, showSetupError, (const char* text), { Module.shell.fail(UTF8ToString(text)); });
// Titles are 8-bit text, drawn as Windows' ANSI code page draws them.
EM_JS(void, showPlayback, (const char* title, int paused), {
    var length = 0;
    while (HEAPU8[title + length] !== 0) length++;
    Module.shell.playback(new TextDecoder("windows-1252").decode(HEAPU8.slice(title, title + length)), !!paused);
});
// clang-format on

namespace {

constexpr int32_t kWindowSize = 256;

// Made in this order, as on Windows: the waveform bank, the player, the output.
ahx::WaveTables sharedWaveTables;
ahx::Player mainPlayer;
web::WebSoundSink soundSink;
audio::QueuedBlockOutput soundOutput{soundSink};

// The timer in milliseconds, wrapping at 2^32 like timeGetTime.
uint32_t timerMs() {
    return uint32_t(std::fmod(emscripten_get_now(), 4294967296.0));
}

// For the page's measurements: frames drawn, and the time spent rendering
// and queueing sound on the page's thread.
int32_t framesDrawn = 0;
double soundMs = 0.0;

// The browser may take the WebGL context away (a driver reset, or to free
// the GPU for another page) and give it back later; meanwhile the frame
// loop goes on for the sound and the clock, but draws nothing.
bool contextLost = false;

void pumpSound() {
    const double begun = emscripten_get_now();
    soundOutput.pump();
    soundMs += emscripten_get_now() - begun;
}

void frame() {
    core::beginFrame(timerMs());
    pumpSound();
    if (contextLost) return;
    render::renderFrame();
    if (framesDrawn++ == 0) noteFirstFrame();
}

EM_BOOL onContextLost(int, const void*, void*) {
    contextLost = true;
    // Only a loss whose default is prevented lets the browser give the
    // context back.
    return EM_TRUE;
}

// Nothing made in the lost context survives it: the shader, the buffer,
// every texture and the fixed state are made again, as at start-up.
EM_BOOL onContextRestored(int, const void*, void*) {
    if (core::quitRequested) return EM_TRUE;
    if (!render::attachGl11()) {
        showSetupError("Can't Create A GL Rendering Context.");
        return EM_TRUE;
    }
    render::initScene();
    contextLost = false;
    return EM_TRUE;
}

bool createContext() {
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    // Like the Windows pixel format: no alpha, a depth buffer, no stencil.
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_TRUE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.majorVersion = 1;
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context("#canvas", &attributes);
    if (context <= 0) return false;
    emscripten_set_webglcontextlost_callback("#canvas", nullptr, EM_FALSE, onContextLost);
    emscripten_set_webglcontextrestored_callback("#canvas", nullptr, EM_FALSE, onContextRestored);
    return emscripten_webgl_make_context_current(context) == EMSCRIPTEN_RESULT_SUCCESS &&
           render::attachGl11();
}

bool shapeToOutline() {
    const resources::ResourceData outline =
        resources::findProgramResource("SKINREGION", resources::kSkinRegionId);
    std::vector<core::OutlineRect> rects;
    if (!core::readOutline(outline.bytes, outline.size, rects) || rects.empty()) return false;
    shapeWindow(core::outlinePath(rects).c_str());
    return true;
}

// What the tab's title and the system's media controls show.
void reportPlayback() {
    showPlayback(core::trackTitles[core::currentTrack], core::playback.output->isPaused() ? 1 : 0);
}

// The page hands over one event at a time, so each is its own drain.
int afterEvent(bool quit) {
    if (quit) return 1;
    core::playSelectedTrack();
    reportPlayback();
    return 0;
}

}  // namespace

extern "C" {

// The page's events, as the window procedure gets them on Windows. Each
// answers 1 when the user asked to quit; the page then calls veltrane_quit.
EMSCRIPTEN_KEEPALIVE void veltrane_mouse_moved(int x, int y) {
    core::mouseMoved(x, y);
}

EMSCRIPTEN_KEEPALIVE int veltrane_left_button_down(int x, int y) {
    return afterEvent(core::leftButtonDown(x, y));
}

EMSCRIPTEN_KEEPALIVE int veltrane_key_down(int virtualKey, int repeat) {
    return afterEvent(core::keyDown(uint32_t(virtualKey), repeat != 0));
}

// An action of the system's media controls (core::MediaCommand's values).
EMSCRIPTEN_KEEPALIVE void veltrane_media_command(int command) {
    core::mediaCommand(core::MediaCommand(command));
    afterEvent(false);
}

// The sink has played a block: room for the next, even while the page is
// hidden and draws no frames.
EMSCRIPTEN_KEEPALIVE void veltrane_sound_wants_blocks() {
    pumpSound();
}

EMSCRIPTEN_KEEPALIVE int veltrane_frames_drawn() {
    return framesDrawn;
}

EMSCRIPTEN_KEEPALIVE double veltrane_sound_ms() {
    return soundMs;
}

// The end of the frame loop and the teardown in order.
EMSCRIPTEN_KEEPALIVE void veltrane_quit() {
    core::quitRequested = true;
    emscripten_cancel_main_loop();
    soundOutput.stop();
    soundOutput.stopThread();
    soundOutput.release();
}

}  // extern "C"

int main() {
    const resources::ResourceData icon = resources::findProgramResource("ICON", resources::kIconId);
    if (icon.bytes != nullptr) useIcon(icon.bytes, int(icon.size));
    core::playback = core::Playback{&mainPlayer, &sharedWaveTables, &soundOutput, core::findSongResource};

    core::windowWidth = kWindowSize;
    core::windowHeight = kWindowSize;
    if (!createContext()) {
        showSetupError("Can't Create A GL Rendering Context.");
        return 1;
    }
    render::initScene();

    if (!shapeToOutline()) {
        showSetupError("Unable to retrieve the skin.");
        return 1;
    }

    // The tune is queued before the window appears; it is heard as soon as
    // the browser lets the page make sound.
    core::currentTrack = 0;
    core::startTrack(core::trackResourceIds[0]);
    pumpSound();
    reportPlayback();
    showWindow();

    core::quitRequested = false;
    // The first frame lasts no time at all.
    core::nowMs = timerMs();
    emscripten_set_main_loop(frame, 0, 0);
    return 0;
}
