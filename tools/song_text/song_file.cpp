#include "tools/song_text/song_file.h"

#include <cstddef>
#include <string_view>

namespace tools {

namespace {

constexpr size_t kHeaderSize = 14;
constexpr size_t kInstrumentHeaderSize = 22;

bool isEmptyTrack(const std::vector<ahx::Step>& track) {
    for (const ahx::Step& s : track) {
        if (s.note != 0 || s.instrument != 0 || s.command != 0 || s.parameter != 0) return false;
    }
    return true;
}

bool inRange(int32_t v, int32_t lo, int32_t hi) {
    return v >= lo && v <= hi;
}

uint8_t byte(int32_t v) {
    return static_cast<uint8_t>(v & 0xFF);
}

// Every field must fit its bit width: masking silently would break the round
// trip and hide mistakes in hand-made songs.
std::string checkSong(const SongFile& file) {
    const ahx::Song& s = file.song;
    if (!inRange(s.version, 0, 1)) return "revision must be 0 or 1";
    if (!inRange(s.speedMultiplier, 1, 4)) return "speed multiplier must be 1..4";
    if (!inRange(s.restartPosition, 0, 0xFFFF)) return "restart position must be 0..65535";
    if (!inRange(s.trackLength, 0, 255)) return "track length must be 0..255";
    if (file.unusedHeaderBit > 1) return "unused header bit must be 0 or 1";
    if (size_t(s.positionCount) != s.positions.size() || s.positions.size() > 4095)
        return "there must be at most 4095 positions";
    if (s.tracks.empty() || s.tracks.size() > 256 || size_t(s.highestTrack) + 1 != s.tracks.size())
        return "there must be 1..256 tracks";
    if (s.instruments.empty() || s.instruments.size() > 256 ||
        size_t(s.instrumentCount) + 1 != s.instruments.size())
        return "there must be at most 255 instruments";
    if (file.unusedBits.size() != s.instruments.size())
        return "unused instrument bits do not match the instruments";
    if (size_t(s.subsongCount) != s.subsongs.size() || s.subsongs.size() > 255)
        return "there must be at most 255 subsongs";
    for (int32_t start : s.subsongs) {
        if (!inRange(start, 0, 0xFFFF)) return "subsong start must be 0..65535";
    }
    for (const ahx::Position& p : s.positions) {
        for (int k = 0; k < ahx::kChannels; ++k) {
            if (!inRange(p.track[k], 0, 255)) return "position track must be 0..255";
            if (!inRange(p.transpose[k], -128, 127)) return "position transpose must be -128..127";
        }
    }
    for (const std::vector<ahx::Step>& track : s.tracks) {
        if (track.size() != size_t(s.trackLength)) return "every track must have track-length steps";
        for (const ahx::Step& st : track) {
            if (!inRange(st.note, 0, 63) || !inRange(st.instrument, 0, 63) || !inRange(st.command, 0, 15) ||
                !inRange(st.parameter, 0, 255))
                return "step field out of range";
        }
    }
    if (file.omitTrack0 && !isEmptyTrack(s.tracks[0])) return "track 0 is omitted but not empty";
    for (size_t i = 1; i < s.instruments.size(); ++i) {
        const ahx::Instrument& in = s.instruments[i];
        const int32_t bytes[] = {in.volume,       in.attackFrames,  in.attackVolume,     in.decayFrames,
                                 in.decayVolume,  in.sustainFrames, in.releaseFrames,    in.releaseVolume,
                                 in.vibratoDelay, in.vibratoSpeed,  in.squareLowerLimit, in.squareUpperLimit,
                                 in.squareSpeed,  in.playlistSpeed};
        for (int32_t v : bytes) {
            if (!inRange(v, 0, 255)) return "instrument byte field must be 0..255";
        }
        if (!inRange(in.waveLength, 0, 7) || !inRange(in.filterLowerLimit, 0, 127) ||
            !inRange(in.filterUpperLimit, 0, 63) || !inRange(in.filterSpeed, 0, 63) ||
            !inRange(in.vibratoDepth, 0, 15) || !inRange(in.hardCutRelease, 0, 1) ||
            !inRange(in.hardCutReleaseFrames, 0, 7) || file.unusedBits[i].filterUpperHighBits > 3)
            return "instrument field out of range";
        if (in.playlist.size() > 255 || size_t(in.playlistLength) != in.playlist.size())
            return "a playlist must have at most 255 rows";
        for (const ahx::PlaylistEntry& e : in.playlist) {
            if (!inRange(e.note, 0, 63) || !inRange(e.fixedNote, 0, 1) || !inRange(e.waveform, 0, 7) ||
                !inRange(e.commands[0], 0, 7) || !inRange(e.commands[1], 0, 7) ||
                !inRange(e.parameters[0], 0, 255) || !inRange(e.parameters[1], 0, 255))
                return "playlist field out of range";
        }
        if (in.name.find('\0') != std::string::npos) return "instrument name contains a zero byte";
    }
    if (s.title.find('\0') != std::string::npos) return "title contains a zero byte";
    return {};
}

class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool has(size_t n) const { return bytes_.size() - pos_ >= n; }
    uint8_t next() { return bytes_[pos_++]; }
    size_t pos() const { return pos_; }

private:
    std::span<const uint8_t> bytes_;
    size_t pos_ = kHeaderSize;
};

bool readString(std::span<const uint8_t> bytes, size_t& pos, std::string& out) {
    size_t end = pos;
    while (end < bytes.size() && bytes[end] != 0) ++end;
    if (end == bytes.size()) return false;
    out.assign(reinterpret_cast<const char*>(bytes.data() + pos), end - pos);
    pos = end + 1;
    return true;
}

}  // namespace

std::vector<uint8_t> encodeSongFile(const SongFile& file, std::string& error) {
    error = checkSong(file);
    if (!error.empty()) return {};
    const ahx::Song& s = file.song;

    std::vector<uint8_t> out(kHeaderSize, 0);
    out[0] = 'T';
    out[1] = 'H';
    out[2] = 'X';
    out[3] = byte(s.version);
    out[6] = uint8_t((file.omitTrack0 ? 0x80 : 0) | ((s.speedMultiplier - 1) << 5) |
                     (file.unusedHeaderBit << 4) | (s.positionCount >> 8));
    out[7] = byte(s.positionCount);
    out[8] = byte(s.restartPosition >> 8);
    out[9] = byte(s.restartPosition);
    out[10] = byte(s.trackLength);
    out[11] = byte(s.highestTrack);
    out[12] = byte(s.instrumentCount);
    out[13] = byte(s.subsongCount);

    for (int32_t start : s.subsongs) {
        out.push_back(byte(start >> 8));
        out.push_back(byte(start));
    }
    for (const ahx::Position& p : s.positions) {
        for (int k = 0; k < ahx::kChannels; ++k) {
            out.push_back(byte(p.track[k]));
            out.push_back(byte(p.transpose[k]));
        }
    }
    for (size_t t = file.omitTrack0 ? 1 : 0; t < s.tracks.size(); ++t) {
        for (const ahx::Step& st : s.tracks[t]) {
            out.push_back(uint8_t((st.note << 2) | (st.instrument >> 4)));
            out.push_back(uint8_t(((st.instrument & 0x0F) << 4) | st.command));
            out.push_back(byte(st.parameter));
        }
    }
    for (size_t i = 1; i < s.instruments.size(); ++i) {
        const ahx::Instrument& in = s.instruments[i];
        const InstrumentUnusedBits& unused = file.unusedBits[i];
        const uint8_t header[kInstrumentHeaderSize] = {
            byte(in.volume),
            uint8_t(((in.filterSpeed & 0x1F) << 3) | in.waveLength),
            byte(in.attackFrames),
            byte(in.attackVolume),
            byte(in.decayFrames),
            byte(in.decayVolume),
            byte(in.sustainFrames),
            byte(in.releaseFrames),
            byte(in.releaseVolume),
            unused.bytes[0],
            unused.bytes[1],
            unused.bytes[2],
            uint8_t(((in.filterSpeed >> 5) << 7) | in.filterLowerLimit),
            byte(in.vibratoDelay),
            uint8_t((in.hardCutRelease << 7) | (in.hardCutReleaseFrames << 4) | in.vibratoDepth),
            byte(in.vibratoSpeed),
            byte(in.squareLowerLimit),
            byte(in.squareUpperLimit),
            byte(in.squareSpeed),
            uint8_t((unused.filterUpperHighBits << 6) | in.filterUpperLimit),
            byte(in.playlistSpeed),
            byte(in.playlistLength),
        };
        out.insert(out.end(), header, header + kInstrumentHeaderSize);
        for (const ahx::PlaylistEntry& e : in.playlist) {
            out.push_back(uint8_t((e.commands[1] << 5) | (e.commands[0] << 2) | (e.waveform >> 1)));
            out.push_back(uint8_t(((e.waveform & 1) << 7) | (e.fixedNote << 6) | e.note));
            out.push_back(byte(e.parameters[0]));
            out.push_back(byte(e.parameters[1]));
        }
    }

    const size_t stringOffset = out.size();
    if (stringOffset > 0xFFFF) {
        error = "song data end at byte " + std::to_string(stringOffset) +
                ", past the 16-bit offset of the string area (65535)";
        return {};
    }
    out[4] = uint8_t(stringOffset >> 8);
    out[5] = uint8_t(stringOffset);
    out.insert(out.end(), s.title.begin(), s.title.end());
    out.push_back(0);
    for (size_t i = 1; i < s.instruments.size(); ++i) {
        out.insert(out.end(), s.instruments[i].name.begin(), s.instruments[i].name.end());
        out.push_back(0);
    }
    if (out.size() == 65536) {
        error = "the song would be exactly 65536 bytes long, a size that loaders reject";
        return {};
    }
    return out;
}

bool decodeSongFile(std::span<const uint8_t> bytes, SongFile& file, std::string& error) {
    file = SongFile{};
    ahx::Song& s = file.song;
    if (bytes.size() < kHeaderSize) {
        error = "too short for an AHX header (" + std::to_string(bytes.size()) + " bytes)";
        return false;
    }
    if (bytes[0] != 'T' || bytes[1] != 'H' || bytes[2] != 'X') {
        error = "not an AHX song (no \"THX\" at the start)";
        return false;
    }
    if (bytes[3] > 1) {
        error = "unknown format revision " + std::to_string(bytes[3]);
        return false;
    }
    s.version = bytes[3];
    const size_t stringOffset = size_t(bytes[4]) << 8 | bytes[5];
    file.omitTrack0 = (bytes[6] & 0x80) != 0;
    s.speedMultiplier = ((bytes[6] >> 5) & 3) + 1;
    file.unusedHeaderBit = uint8_t((bytes[6] >> 4) & 1);
    s.positionCount = (bytes[6] & 0x0F) << 8 | bytes[7];
    s.restartPosition = bytes[8] << 8 | bytes[9];
    s.trackLength = bytes[10];
    s.highestTrack = bytes[11];
    s.instrumentCount = bytes[12];
    s.subsongCount = bytes[13];

    Reader r(bytes);
    auto cutShort = [&](std::string_view what) {
        error = "cut short in the " + std::string(what) + " (file ends at byte " +
                std::to_string(bytes.size()) + ")";
        return false;
    };
    for (int32_t i = 0; i < s.subsongCount; ++i) {
        if (!r.has(2)) return cutShort("subsong list");
        const int32_t hi = r.next();
        s.subsongs.push_back(hi << 8 | r.next());
    }
    s.positions.resize(size_t(s.positionCount));
    for (ahx::Position& p : s.positions) {
        if (!r.has(8)) return cutShort("position list");
        for (int k = 0; k < ahx::kChannels; ++k) {
            p.track[k] = r.next();
            p.transpose[k] = int8_t(r.next());
        }
    }
    s.tracks.resize(size_t(s.highestTrack) + 1);
    for (size_t t = 0; t < s.tracks.size(); ++t) {
        s.tracks[t].resize(size_t(s.trackLength));
        if (t == 0 && file.omitTrack0) continue;
        for (ahx::Step& st : s.tracks[t]) {
            if (!r.has(3)) return cutShort("tracks");
            const uint8_t b0 = r.next(), b1 = r.next(), b2 = r.next();
            st.note = b0 >> 2;
            st.instrument = (b0 & 3) << 4 | b1 >> 4;
            st.command = b1 & 0x0F;
            st.parameter = b2;
        }
    }
    s.instruments.resize(size_t(s.instrumentCount) + 1);
    file.unusedBits.resize(s.instruments.size());
    for (size_t i = 1; i < s.instruments.size(); ++i) {
        if (!r.has(kInstrumentHeaderSize)) return cutShort("instruments");
        uint8_t h[kInstrumentHeaderSize];
        for (uint8_t& b : h) b = r.next();
        ahx::Instrument& in = s.instruments[i];
        in.volume = h[0];
        in.filterSpeed = ((h[12] & 0x80) | (h[1] >> 1)) >> 2;
        in.waveLength = h[1] & 7;
        in.attackFrames = h[2];
        in.attackVolume = h[3];
        in.decayFrames = h[4];
        in.decayVolume = h[5];
        in.sustainFrames = h[6];
        in.releaseFrames = h[7];
        in.releaseVolume = h[8];
        file.unusedBits[i].bytes[0] = h[9];
        file.unusedBits[i].bytes[1] = h[10];
        file.unusedBits[i].bytes[2] = h[11];
        in.filterLowerLimit = h[12] & 0x7F;
        in.vibratoDelay = h[13];
        in.hardCutRelease = h[14] >> 7;
        in.hardCutReleaseFrames = (h[14] >> 4) & 7;
        in.vibratoDepth = h[14] & 0x0F;
        in.vibratoSpeed = h[15];
        in.squareLowerLimit = h[16];
        in.squareUpperLimit = h[17];
        in.squareSpeed = h[18];
        in.filterUpperLimit = h[19] & 0x3F;
        file.unusedBits[i].filterUpperHighBits = uint8_t(h[19] >> 6);
        in.playlistSpeed = h[20];
        in.playlistLength = h[21];
        in.playlist.resize(size_t(in.playlistLength));
        for (ahx::PlaylistEntry& e : in.playlist) {
            if (!r.has(4)) return cutShort("playlists");
            const uint8_t b0 = r.next(), b1 = r.next();
            e.commands[1] = b0 >> 5;
            e.commands[0] = (b0 >> 2) & 7;
            e.waveform = (b0 & 3) << 1 | b1 >> 7;
            e.fixedNote = (b1 >> 6) & 1;
            e.note = b1 & 0x3F;
            e.parameters[0] = r.next();
            e.parameters[1] = r.next();
        }
    }

    // The text form has no place for a gap or an overlap between the packed
    // data and the strings, nor for trailing bytes, so such images are refused
    // rather than silently normalised.
    if (stringOffset != r.pos()) {
        error = "string area at byte " + std::to_string(stringOffset) +
                " does not follow the song data, which end at byte " + std::to_string(r.pos()) +
                "; only songs laid out that way can be decompiled";
        return false;
    }
    size_t pos = stringOffset;
    if (!readString(bytes, pos, s.title)) {
        error = "title has no terminating zero";
        return false;
    }
    for (size_t i = 1; i < s.instruments.size(); ++i) {
        if (!readString(bytes, pos, s.instruments[i].name)) {
            error = "name of instrument " + std::to_string(i) + " has no terminating zero";
            return false;
        }
    }
    if (pos != bytes.size()) {
        error = std::to_string(bytes.size() - pos) + " bytes follow the last instrument name";
        return false;
    }
    if (bytes.size() == 65536) {
        error = "65536 bytes long, a size that loaders reject";
        return false;
    }
    return true;
}

}  // namespace tools
