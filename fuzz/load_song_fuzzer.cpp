// libFuzzer target: any byte string must load or be rejected without a read
// outside it; every song that loads must read, print as text, compile back
// to the very same bytes and play; and the writer must refuse to write what
// the loader rejects.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ahx/player.h"
#include "ahx/song_image.h"
#include "audio/memory_output.h"
#include "audio/stream_format.h"
#include "song_text/song_text.h"

namespace {

const ahx::WaveTables& bank() {
    static const auto* tables = new ahx::WaveTables;
    return *tables;
}

// The first block the program would play: two to eight ticks, mixed. A new
// player and mixer each time, so that a failure depends on the input alone;
// play_song_fuzzer plays on for longer.
void render(const std::vector<uint8_t>& bytes) {
    auto player = std::make_unique<ahx::Player>();
    player->bindWaveTables(&bank());
    if (player->loadSong(bytes.data(), int32_t(bytes.size())) != 1) __builtin_trap();
    if (player->startSubsong(0) != 1) __builtin_trap();
    audio::MemoryOutput output;
    output.setup(audio::kSampleRate, audio::kBitsPerSample, audio::kFramesPerBlock, 1.0f);
    output.play(player.get());
    std::vector<int16_t> pcm(audio::kBlockSamples);
    output.renderPcm16(pcm.data(), int64_t(pcm.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 200000) return 0;
    // An exact-size copy, so that AddressSanitizer sees any read past the end.
    std::vector<uint8_t> image(data, data + size);
    ahx::Song song;
    const int loaded = ahx::loadSong(song, image.data(), int32_t(image.size()));
    ahx::SongImage read;
    const bool readable = ahx::readSongImage(image.data(), image.size(), read);
    if (loaded != 1) {
        if (song.positionCount != 0 || !song.tracks.empty() || !song.instruments.empty()) __builtin_trap();
        // What the loader rejects, the writer refuses to make.
        if (readable && !ahx::writeSongImage(read).empty()) __builtin_trap();
        return 0;
    }
    if (!readable) __builtin_trap();
    if (song.positionCount < 1 || song.trackLength < 1) __builtin_trap();
    if (int32_t(song.tracks.size()) != song.highestTrack + 1) __builtin_trap();
    for (const ahx::Instrument& ins : song.instruments) {
        if (ins.volume > 64 || ins.attackVolume > 64 || ins.decayVolume > 64 || ins.releaseVolume > 64)
            __builtin_trap();
        if (ins.waveLength > 5) __builtin_trap();
    }
    if (read.song.title != song.title) __builtin_trap();

    // Decompiled and compiled again, the song is the same bytes.
    if (ahx::writeSongImage(read) != image) __builtin_trap();
    ahx::SongImage parsed;
    tools::SongTextError error;
    if (!tools::parseSongText(tools::printSongText(read), parsed, error)) __builtin_trap();
    const std::vector<uint8_t> compiled = ahx::writeSongImage(parsed);
    if (compiled != image) __builtin_trap();
    render(compiled);
    return 0;
}
