// Song images with every field, the bits players ignore included, at a
// random value within its stored width; and the same images with their
// strings laid out in the unusual ways the loader still accepts.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "ahx/song_image.h"

namespace synthetic {

inline ahx::SongImage randomSongImage(std::mt19937& rng) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto text = [&](int maxLength) {
        std::string s(size_t(pick(0, maxLength)), ' ');
        for (char& c : s) c = char(pick(1, 255));
        return s;
    };
    ahx::SongImage f;
    ahx::Song& s = f.song;
    s.title = text(30);
    s.version = pick(0, 1);
    s.speedMultiplier = pick(1, 4);
    s.restartPosition = pick(0, 3) == 0 ? pick(0, 65535) : pick(0, 10);
    s.trackLength = pick(0, 3) == 0 ? pick(1, 255) : pick(1, 64);
    f.unusedHeaderBit = uint8_t(pick(0, 1));
    s.subsongs.resize(size_t(pick(0, 1) ? pick(0, 5) : 0));
    for (int32_t& start : s.subsongs) start = pick(0, 1) ? pick(0, 65535) : pick(0, 10);
    s.positions.resize(size_t(pick(1, 60)));
    for (ahx::Position& p : s.positions) {
        for (int k = 0; k < ahx::kChannels; ++k) {
            p.track[k] = pick(0, 255);
            p.transpose[k] = pick(-128, 127);
        }
    }
    s.tracks.resize(size_t(pick(1, 12)));
    for (std::vector<ahx::Step>& t : s.tracks) {
        t.resize(size_t(s.trackLength));
        const bool sparse = pick(0, 1);
        for (ahx::Step& st : t) {
            if (sparse && pick(0, 3)) continue;
            st = {pick(0, 63), pick(0, 63), pick(0, 15), pick(0, 255)};
        }
    }
    f.omitTrack0 = pick(0, 1);
    if (f.omitTrack0 || pick(0, 3) == 0) s.tracks[0].assign(size_t(s.trackLength), ahx::Step{});
    s.instruments.resize(size_t(pick(1, 10)));
    f.unusedBits.resize(s.instruments.size());
    for (size_t i = 1; i < s.instruments.size(); ++i) {
        ahx::Instrument& in = s.instruments[i];
        in.name = text(12);
        for (int32_t* v :
             {&in.volume, &in.attackFrames, &in.attackVolume, &in.decayFrames, &in.decayVolume,
              &in.sustainFrames, &in.releaseFrames, &in.releaseVolume, &in.vibratoDelay, &in.vibratoSpeed,
              &in.squareLowerLimit, &in.squareUpperLimit, &in.squareSpeed, &in.playlistSpeed})
            *v = pick(0, 255);
        in.waveLength = pick(0, 7);
        in.filterLowerLimit = pick(0, 127);
        in.filterUpperLimit = pick(0, 63);
        in.filterSpeed = pick(0, 63);
        in.vibratoDepth = pick(0, 15);
        in.hardCutRelease = pick(0, 1);
        in.hardCutReleaseFrames = pick(0, 7);
        if (pick(0, 1)) {
            for (uint8_t& b : f.unusedBits[i].bytes) b = uint8_t(pick(0, 255));
            f.unusedBits[i].filterUpperHighBits = uint8_t(pick(0, 3));
        }
        in.playlist.resize(size_t(pick(0, 3) == 0 ? pick(0, 255) : pick(0, 16)));
        in.playlistLength = int32_t(in.playlist.size());
        for (ahx::PlaylistEntry& e : in.playlist)
            e = {pick(0, 63), pick(0, 1), pick(0, 7), {pick(0, 7), pick(0, 7)}, {pick(0, 255), pick(0, 255)}};
    }
    s.positionCount = int32_t(s.positions.size());
    s.highestTrack = int32_t(s.tracks.size()) - 1;
    s.instrumentCount = int32_t(s.instruments.size()) - 1;
    s.subsongCount = int32_t(s.subsongs.size());
    return f;
}

// Where the string area of `bytes` (an image in the usual layout) starts.
inline size_t stringAreaOf(const std::vector<uint8_t>& bytes) {
    return size_t(bytes[4]) << 8 | bytes[5];
}

inline void pointStringsAt(std::vector<uint8_t>& bytes, size_t offset) {
    bytes[4] = uint8_t(offset >> 8);
    bytes[5] = uint8_t(offset);
}

// Variations of a usual image that the loader accepts although no usual
// layout produces them: bytes between the song data and the strings or
// after them, a title inside the song data or beyond the end, the last
// name running into the end, and an image longer than 65536 bytes.
inline std::vector<std::vector<uint8_t>> unusualLayouts(const std::vector<uint8_t>& bytes) {
    const size_t strings = stringAreaOf(bytes);
    std::vector<std::vector<uint8_t>> out;

    std::vector<uint8_t> gap = bytes;
    gap.insert(gap.begin() + std::ptrdiff_t(strings), {0xAA, 0x00, 0x55});
    pointStringsAt(gap, strings + 3);
    out.push_back(gap);

    std::vector<uint8_t> trailing = bytes;
    trailing.insert(trailing.end(), {0x00, 'x', 0x7F});
    out.push_back(trailing);

    std::vector<uint8_t> inside = bytes;
    pointStringsAt(inside, 3);
    out.push_back(inside);

    std::vector<uint8_t> beyond = bytes;
    pointStringsAt(beyond, 0xFFFF);
    out.push_back(beyond);

    std::vector<uint8_t> unterminated = bytes;
    unterminated.pop_back();
    out.push_back(unterminated);

    std::vector<uint8_t> noNames(bytes.begin(), bytes.begin() + std::ptrdiff_t(strings));
    out.push_back(noNames);

    std::vector<uint8_t> long_ = bytes;
    long_.resize(65537 + bytes.size() % 7, 0x20);
    out.push_back(long_);
    return out;
}

}  // namespace synthetic
