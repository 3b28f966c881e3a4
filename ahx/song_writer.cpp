#include "ahx/song_writer.h"

namespace ahx {
namespace {

uint8_t byteOf(int32_t v) { return uint8_t(uint32_t(v) & 0xFF); }

void put16(std::vector<uint8_t>& out, int32_t v) {
    out.push_back(byteOf(v >> 8));
    out.push_back(byteOf(v));
}

void putStep(std::vector<uint8_t>& out, const Step& s) {
    out.push_back(byteOf(((s.note & 0x3F) << 2) | ((s.instrument >> 4) & 3)));
    out.push_back(byteOf(((s.instrument & 0x0F) << 4) | (s.command & 0x0F)));
    out.push_back(byteOf(s.parameter));
}

void putInstrument(std::vector<uint8_t>& out, const Instrument& ins) {
    const int32_t speed = ins.filterSpeed & 0x3F;
    out.push_back(byteOf(ins.volume));
    out.push_back(byteOf(((speed & 0x1F) << 3) | (ins.waveLength & 7)));
    out.push_back(byteOf(ins.attackFrames));
    out.push_back(byteOf(ins.attackVolume));
    out.push_back(byteOf(ins.decayFrames));
    out.push_back(byteOf(ins.decayVolume));
    out.push_back(byteOf(ins.sustainFrames));
    out.push_back(byteOf(ins.releaseFrames));
    out.push_back(byteOf(ins.releaseVolume));
    out.insert(out.end(), 3, uint8_t{0});
    out.push_back(byteOf(((speed & 0x20) << 2) | (ins.filterLowerLimit & 0x7F)));
    out.push_back(byteOf(ins.vibratoDelay));
    out.push_back(byteOf(((ins.hardCutRelease & 1) << 7) | ((ins.hardCutReleaseFrames & 7) << 4) |
                         (ins.vibratoDepth & 0x0F)));
    out.push_back(byteOf(ins.vibratoSpeed));
    out.push_back(byteOf(ins.squareLowerLimit));
    out.push_back(byteOf(ins.squareUpperLimit));
    out.push_back(byteOf(ins.squareSpeed));
    out.push_back(byteOf(ins.filterUpperLimit & 0x3F));
    out.push_back(byteOf(ins.playlistSpeed));
    out.push_back(byteOf(int32_t(ins.playlist.size())));
    for (const PlaylistEntry& e : ins.playlist) {
        out.push_back(byteOf(((e.commands[1] & 7) << 5) | ((e.commands[0] & 7) << 2) | ((e.waveform >> 1) & 3)));
        out.push_back(byteOf(((e.waveform & 1) << 7) | ((e.fixedNote & 1) << 6) | (e.note & 0x3F)));
        out.push_back(byteOf(e.parameters[0]));
        out.push_back(byteOf(e.parameters[1]));
    }
}

void putString(std::vector<uint8_t>& out, const std::string& s) {
    out.insert(out.end(), s.begin(), s.end());
    out.push_back(0);
}

bool storable(const Song& song, const SongWriteOptions& options) {
    if (song.positions.size() > 0xFFF || song.tracks.empty() || song.tracks.size() > 256) return false;
    if (song.instruments.size() > 256 || song.subsongs.size() > 255) return false;
    if (song.trackLength < 0 || song.trackLength > 255) return false;
    for (const auto& track : song.tracks) {
        if (track.size() != size_t(song.trackLength)) return false;
    }
    for (size_t i = 1; i < song.instruments.size(); ++i) {
        if (song.instruments[i].playlist.size() > 255) return false;
    }
    if (options.omitTrack0) {
        for (const Step& s : song.tracks[0]) {
            if (s.note != 0 || s.instrument != 0 || s.command != 0 || s.parameter != 0) return false;
        }
    }
    return true;
}

}  // namespace

std::vector<uint8_t> writeSong(const Song& song, const SongWriteOptions& options) {
    if (!storable(song, options)) return {};
    const int32_t positionCount = int32_t(song.positions.size());
    const int32_t instrumentCount = song.instruments.empty() ? 0 : int32_t(song.instruments.size()) - 1;

    std::vector<uint8_t> out = {'T', 'H', 'X', byteOf(song.version), 0, 0};
    out.push_back(byteOf((options.omitTrack0 ? 0x80 : 0) | (((song.speedMultiplier - 1) & 3) << 5) |
                         ((positionCount >> 8) & 0x0F)));
    out.push_back(byteOf(positionCount));
    put16(out, song.restartPosition);
    out.push_back(byteOf(song.trackLength));
    out.push_back(byteOf(int32_t(song.tracks.size()) - 1));
    out.push_back(byteOf(instrumentCount));
    out.push_back(byteOf(int32_t(song.subsongs.size())));

    for (int32_t start : song.subsongs) put16(out, start);
    for (const Position& p : song.positions) {
        for (int k = 0; k < kChannels; ++k) {
            out.push_back(byteOf(p.track[k]));
            out.push_back(byteOf(p.transpose[k]));
        }
    }
    for (size_t t = options.omitTrack0 ? 1 : 0; t < song.tracks.size(); ++t) {
        for (const Step& s : song.tracks[t]) putStep(out, s);
    }
    for (int32_t i = 1; i <= instrumentCount; ++i) putInstrument(out, song.instruments[size_t(i)]);

    if (out.size() > 0xFFFF) return {};
    const auto stringArea = int32_t(out.size());
    out[4] = byteOf(stringArea >> 8);
    out[5] = byteOf(stringArea);
    putString(out, song.title);
    for (int32_t i = 1; i <= instrumentCount; ++i) putString(out, song.instruments[size_t(i)].name);
    return out;
}

}  // namespace ahx
