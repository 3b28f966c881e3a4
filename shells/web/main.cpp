// veltrane::music in a web page: the musicdisk's start, frame and quit
// sequence (core/musicdisk.h) with the page as its window, the browser's
// events as its messages and Web Audio as its sound device.
#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <cmath>
#include <string>
#include <vector>

#include "ahx/player.h"
#include "ahx/wave_tables.h"
#include "audio/queued_block_output.h"
#include "core/input.h"
#include "core/musicdisk.h"
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
EM_JS(void, shapeCanvas, (const char* path), { Module.shell.shape(UTF8ToString(path)); });
EM_JS(void, showCanvas, (), { Module.shell.show(); });
EM_JS(void, noteFirstFrame, (), { Module.shell.firstFrameDrawn = performance.now(); });
EM_JS(void, useIcon, (const uint8_t* bytes, int size), {
    var icon = new Blob([HEAPU8.slice(bytes, bytes + size)], {type: "image/x-icon"});
    document.getElementById("icon").href = URL.createObjectURL(icon);
});
EM_JS(void, failOnPage, (const char* text), { Module.shell.fail(UTF8ToString(text)); });
// Titles are 8-bit text, drawn as Windows' ANSI code page draws them.
EM_JS(void, showPlayback, (const char* title, int paused), {
    var length = 0;
    while (HEAPU8[title + length] !== 0) length++;
    Module.shell.playback(new TextDecoder("windows-1252").decode(HEAPU8.slice(title, title + length)), !!paused);
});
// clang-format on

namespace {

// Made in this order, as on Windows: the waveform bank, the player, the output.
ahx::WaveTables sharedWaveTables;
ahx::Player mainPlayer;
web::WebSoundSink soundSink;
audio::QueuedBlockOutput soundOutput{soundSink};
core::TrackControl trackControl{mainPlayer, sharedWaveTables, soundOutput};

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
        failOnPage("Can't Create A GL Rendering Context.");
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

// What the tab's title and the system's media controls show.
void reportPlayback() {
    showPlayback(core::trackTitles[core::currentTrack], soundOutput.isPaused() ? 1 : 0);
}

class PageShell final : public core::MusicdiskShell {
public:
    // Wraps at 2^32 like timeGetTime.
    uint32_t timerMs() override { return uint32_t(std::fmod(emscripten_get_now(), 4294967296.0)); }

    // The page's input reaches the track control through the exported
    // functions below, so only the context is made here.
    bool openWindow() override {
        if (createContext()) return true;
        failOnPage("Can't Create A GL Rendering Context.");
        return false;
    }

    void initScene() override { render::initScene(); }

    bool shapeWindow() override {
        const resources::ResourceData outline =
            resources::findProgramResource("SKINREGION", resources::kSkinRegionId);
        std::vector<core::OutlineRect> rects;
        if (!core::readOutline(outline.bytes, outline.size, rects) || rects.empty()) return false;
        shapeCanvas(core::outlinePath(rects).c_str());
        return true;
    }

    // The first tune is queued before the window appears; it is heard as
    // soon as the browser lets the page make sound.
    void showWindow() override {
        pumpSound();
        reportPlayback();
        showCanvas();
    }

    // The sound is queued on every frame, drawn or not.
    void drawFrame() override {
        pumpSound();
        if (contextLost) return;
        render::renderFrame();
        if (framesDrawn++ == 0) noteFirstFrame();
    }

    void showSetupError(const char* text) override { failOnPage(text); }

    // The page takes the window away itself once the quit is over (shell.js).
    void closeWindow() override {}
};

PageShell pageShell;
core::Musicdisk musicdisk{pageShell, trackControl};

// The page hands over one event at a time, so each is its own drain.
int afterEvent(bool quit) {
    if (quit) return 1;
    musicdisk.afterDrain();
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
    return afterEvent(core::leftButtonDown(trackControl, x, y));
}

EMSCRIPTEN_KEEPALIVE int veltrane_key_down(int virtualKey, int repeat) {
    return afterEvent(core::keyDown(trackControl, uint32_t(virtualKey), repeat != 0));
}

// An action of the system's media controls (core::MediaCommand's values).
EMSCRIPTEN_KEEPALIVE void veltrane_media_command(int command) {
    core::mediaCommand(trackControl, core::MediaCommand(command));
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

// The end of the frame loop and the teardown in order. The runtime never
// exits, so the output is released here rather than by its destructor.
EMSCRIPTEN_KEEPALIVE void veltrane_quit() {
    emscripten_cancel_main_loop();
    musicdisk.quit();
    soundOutput.release();
}

}  // extern "C"

int main() {
    const resources::ResourceData icon = resources::findProgramResource("ICON", resources::kIconId);
    if (icon.bytes != nullptr) useIcon(icon.bytes, int(icon.size));
    if (!musicdisk.start()) return 1;
    emscripten_set_main_loop([] { musicdisk.frame(); }, 0, 0);
    return 0;
}
