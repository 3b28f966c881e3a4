#include "shells/web/web_sound_sink.h"

#include <emscripten/emscripten.h>

EM_JS(int, soundOpen, (int sampleRate, int blockSamples),
      { return Module.shell.sound.open(sampleRate, blockSamples); });
EM_JS(void, soundQueue, (const int16_t* samples, int count), { Module.shell.sound.queue(samples, count); });
EM_JS(int, soundPending, (), { return Module.shell.sound.pending(); });
EM_JS(void, soundDrop, (), { Module.shell.sound.drop(); });
EM_JS(void, soundPause, (), { Module.shell.sound.pause(); });
EM_JS(void, soundResume, (), { Module.shell.sound.resume(); });

namespace web {

bool WebSoundSink::open(int32_t sampleRate, int32_t blockSamples) {
    return soundOpen(sampleRate, blockSamples) != 0;
}

void WebSoundSink::queue(const int16_t* samples, int32_t count) {
    soundQueue(samples, count);
}

int32_t WebSoundSink::pendingBlocks() const {
    return soundPending();
}

void WebSoundSink::drop() {
    soundDrop();
}

void WebSoundSink::pause() {
    soundPause();
}

void WebSoundSink::resume() {
    soundResume();
}

}  // namespace web
