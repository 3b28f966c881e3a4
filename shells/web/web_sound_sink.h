#pragma once

// The sound sink of the web page: Web Audio, through the page's block
// player (shells/web/shell.js), in an audio worklet or behind a script processor.

#include "audio/queued_block_output.h"

namespace web {

class WebSoundSink final : public audio::BlockSink {
public:
    bool open(int32_t sampleRate, int32_t blockSamples) override;
    void queue(const int16_t* samples, int32_t count) override;
    int32_t pendingBlocks() const override;
    void drop() override;
    void pause() override;
    void resume() override;
    // The audio context stays for the next song; the page closes it at the end.
    void close() override {}
};

}  // namespace web
