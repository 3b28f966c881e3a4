#include "ahx/song_writer.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// A song with every field at a random value within its stored width.
ahx::Song randomSong(std::mt19937& rng) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    ahx::Song s;
    s.title = "song " + std::to_string(pick(0, 999));
    s.version = pick(0, 1);
    s.speedMultiplier = pick(1, 4);
    s.restartPosition = pick(0, 65535);
    s.trackLength = pick(1, 64);
    s.positions.resize(size_t(pick(1, 40)));
    for (auto& p : s.positions) {
        for (int k = 0; k < 4; ++k) {
            p.track[k] = pick(0, 255);
            p.transpose[k] = pick(-128, 127);
        }
    }
    s.tracks.resize(size_t(pick(1, 8)));
    for (auto& t : s.tracks) {
        t.resize(size_t(s.trackLength));
        for (auto& step : t) step = {pick(0, 63), pick(0, 63), pick(0, 15), pick(0, 255)};
    }
    s.instruments.resize(size_t(pick(1, 6)));
    for (size_t i = 1; i < s.instruments.size(); ++i) {
        ahx::Instrument& ins = s.instruments[i];
        ins.name = "ins" + std::to_string(i);
        ins.volume = pick(0, 64);
        ins.waveLength = pick(0, 5);
        ins.attackFrames = pick(0, 255);
        ins.attackVolume = pick(0, 64);
        ins.decayFrames = pick(0, 255);
        ins.decayVolume = pick(0, 64);
        ins.sustainFrames = pick(0, 255);
        ins.releaseFrames = pick(0, 255);
        ins.releaseVolume = pick(0, 64);
        ins.filterLowerLimit = pick(0, 127);
        ins.filterUpperLimit = pick(0, 63);
        ins.filterSpeed = pick(0, 63);
        ins.squareLowerLimit = pick(0, 255);
        ins.squareUpperLimit = pick(0, 255);
        ins.squareSpeed = pick(0, 255);
        ins.vibratoDelay = pick(0, 255);
        ins.vibratoDepth = pick(0, 15);
        ins.vibratoSpeed = pick(0, 255);
        ins.hardCutRelease = pick(0, 1);
        ins.hardCutReleaseFrames = pick(0, 7);
        ins.playlistSpeed = pick(0, 255);
        ins.playlist.resize(size_t(pick(0, 12)));
        ins.playlistLength = int32_t(ins.playlist.size());
        for (auto& e : ins.playlist) {
            e = {pick(0, 63), pick(0, 1), pick(0, 7), {pick(0, 7), pick(0, 7)}, {pick(0, 255), pick(0, 255)}};
        }
    }
    s.subsongs.resize(size_t(pick(0, 3)));
    for (auto& start : s.subsongs) start = pick(0, 65535);
    s.positionCount = int32_t(s.positions.size());
    s.highestTrack = int32_t(s.tracks.size()) - 1;
    s.instrumentCount = int32_t(s.instruments.size()) - 1;
    s.subsongCount = int32_t(s.subsongs.size());
    return s;
}

void expectSameSong(const ahx::Song& a, const ahx::Song& b) {
    EXPECT_EQ(a.title, b.title);
    EXPECT_EQ(a.version, b.version);
    EXPECT_EQ(a.speedMultiplier, b.speedMultiplier);
    EXPECT_EQ(a.restartPosition, b.restartPosition);
    EXPECT_EQ(a.trackLength, b.trackLength);
    ASSERT_EQ(a.positions.size(), b.positions.size());
    for (size_t i = 0; i < a.positions.size(); ++i) {
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(a.positions[i].track[k], b.positions[i].track[k]);
            EXPECT_EQ(a.positions[i].transpose[k], b.positions[i].transpose[k]);
        }
    }
    ASSERT_EQ(a.tracks.size(), b.tracks.size());
    for (size_t t = 0; t < a.tracks.size(); ++t) {
        for (size_t j = 0; j < a.tracks[t].size(); ++j) {
            const auto &x = a.tracks[t][j], &y = b.tracks[t][j];
            EXPECT_TRUE(x.note == y.note && x.instrument == y.instrument && x.command == y.command &&
                        x.parameter == y.parameter);
        }
    }
    ASSERT_EQ(a.instruments.size(), b.instruments.size());
    for (size_t i = 1; i < a.instruments.size(); ++i) {
        const ahx::Instrument &x = a.instruments[i], &y = b.instruments[i];
        EXPECT_EQ(x.name, y.name);
        const int32_t xs[] = {x.volume, x.waveLength, x.attackFrames, x.attackVolume, x.decayFrames,
                              x.decayVolume, x.sustainFrames, x.releaseFrames, x.releaseVolume,
                              x.filterLowerLimit, x.filterUpperLimit, x.filterSpeed, x.squareLowerLimit,
                              x.squareUpperLimit, x.squareSpeed, x.vibratoDelay, x.vibratoDepth,
                              x.vibratoSpeed, x.hardCutRelease, x.hardCutReleaseFrames, x.playlistSpeed,
                              x.playlistLength};
        const int32_t ys[] = {y.volume, y.waveLength, y.attackFrames, y.attackVolume, y.decayFrames,
                              y.decayVolume, y.sustainFrames, y.releaseFrames, y.releaseVolume,
                              y.filterLowerLimit, y.filterUpperLimit, y.filterSpeed, y.squareLowerLimit,
                              y.squareUpperLimit, y.squareSpeed, y.vibratoDelay, y.vibratoDepth,
                              y.vibratoSpeed, y.hardCutRelease, y.hardCutReleaseFrames, y.playlistSpeed,
                              y.playlistLength};
        for (size_t f = 0; f < std::size(xs); ++f) EXPECT_EQ(xs[f], ys[f]) << "instrument " << i << " field " << f;
        ASSERT_EQ(x.playlist.size(), y.playlist.size());
        for (size_t r = 0; r < x.playlist.size(); ++r) {
            const auto &p = x.playlist[r], &q = y.playlist[r];
            EXPECT_TRUE(p.note == q.note && p.fixedNote == q.fixedNote && p.waveform == q.waveform &&
                        p.commands[0] == q.commands[0] && p.commands[1] == q.commands[1] &&
                        p.parameters[0] == q.parameters[0] && p.parameters[1] == q.parameters[1]);
        }
    }
    EXPECT_EQ(a.subsongs, b.subsongs);
}

TEST(SongWriter, WrittenSongsLoadBackUnchanged) {
    std::mt19937 rng(20261207);
    for (int i = 0; i < 200; ++i) {
        ahx::Song original = randomSong(rng);
        const bool omit = i % 3 == 0;
        if (omit) std::fill(original.tracks[0].begin(), original.tracks[0].end(), ahx::Step{});
        std::vector<uint8_t> bytes = ahx::writeSong(original, {omit});
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ(bytes[6] >> 7, omit ? 1 : 0);
        ahx::Song loaded;
        ASSERT_EQ(ahx::loadSong(loaded, bytes.data(), int32_t(bytes.size())), 1) << "song " << i;
        expectSameSong(original, loaded);
        // The same song written again gives the same bytes.
        EXPECT_EQ(ahx::writeSong(loaded, {omit}), bytes);
    }
}

TEST(SongWriter, RefusesWhatTheFormatCannotHold) {
    std::mt19937 rng(1);
    ahx::Song s = randomSong(rng);
    s.tracks[0][0].note = 1;
    EXPECT_TRUE(ahx::writeSong(s, {true}).empty());

    ahx::Song tooManyPositions = randomSong(rng);
    tooManyPositions.positions.resize(4096);
    EXPECT_TRUE(ahx::writeSong(tooManyPositions).empty());

    ahx::Song ragged = randomSong(rng);
    ragged.tracks[0].push_back({});
    EXPECT_TRUE(ahx::writeSong(ragged).empty());
}

}  // namespace
