#include "ahx/song_image.h"

#include <algorithm>
#include <utility>

namespace ahx {
namespace {

constexpr size_t kHeaderSize = 14;
constexpr size_t kInstrumentHeaderSize = 22;
// The one size loaders refuse outright, whatever the bytes say.
constexpr size_t kRejectedSize = 65536;

uint8_t byteOf(int32_t v) {
    return uint8_t(uint32_t(v) & 0xFF);
}

bool inRange(int32_t v, int32_t lo, int32_t hi) {
    return v >= lo && v <= hi;
}

bool isEmptyTrack(const std::vector<Step>& track) {
    return std::all_of(track.begin(), track.end(), [](const Step& s) {
        return s.note == 0 && s.instrument == 0 && s.command == 0 && s.parameter == 0;
    });
}

// The zero-terminated string at `offset`, cut at the end of the data.
// Answers the offset just past its terminator, or the end of the data.
size_t stringAt(const uint8_t* data, size_t size, size_t offset, std::string& out) {
    out.clear();
    if (offset >= size) return size;
    const uint8_t* begin = data + offset;
    const uint8_t* end = data + size;
    const uint8_t* zero = std::find(begin, end, uint8_t{0});
    out.assign(begin, zero);
    return zero == end ? size : size_t(zero - data) + 1;
}

// The title, then one name per instrument, read from `offset` on as the
// loader reads them. Answers where the last string ended.
size_t readStrings(const uint8_t* data, size_t size, size_t offset, Song& song) {
    size_t cursor = stringAt(data, size, offset, song.title);
    for (size_t i = 1; i < song.instruments.size(); ++i) {
        cursor = stringAt(data, size, cursor, song.instruments[i].name);
    }
    return cursor;
}

void putStrings(std::vector<uint8_t>& out, const Song& song) {
    out.insert(out.end(), song.title.begin(), song.title.end());
    out.push_back(0);
    for (size_t i = 1; i < song.instruments.size(); ++i) {
        out.insert(out.end(), song.instruments[i].name.begin(), song.instruments[i].name.end());
        out.push_back(0);
    }
}

Step decodeStep(const uint8_t* b) {
    Step s;
    s.note = b[0] >> 2;
    s.instrument = ((b[0] & 3) << 4) | (b[1] >> 4);
    s.command = b[1] & 0x0F;
    s.parameter = b[2];
    return s;
}

PlaylistEntry decodePlaylistEntry(const uint8_t* b) {
    PlaylistEntry e;
    e.commands[1] = b[0] >> 5;
    e.commands[0] = (b[0] >> 2) & 7;
    e.waveform = ((b[0] & 3) << 1) | (b[1] >> 7);
    e.fixedNote = (b[1] >> 6) & 1;
    e.note = b[1] & 0x3F;
    e.parameters[0] = b[2];
    e.parameters[1] = b[3];
    return e;
}

void decodeInstrument(const uint8_t* b, Instrument& ins, InstrumentUnusedBits& unused) {
    ins.volume = b[0];
    ins.filterSpeed = ((b[12] & 0x80) | (b[1] >> 1)) >> 2;
    ins.waveLength = b[1] & 7;
    ins.attackFrames = b[2];
    ins.attackVolume = b[3];
    ins.decayFrames = b[4];
    ins.decayVolume = b[5];
    ins.sustainFrames = b[6];
    ins.releaseFrames = b[7];
    ins.releaseVolume = b[8];
    unused.bytes[0] = b[9];
    unused.bytes[1] = b[10];
    unused.bytes[2] = b[11];
    ins.filterLowerLimit = b[12] & 0x7F;
    ins.vibratoDelay = b[13];
    ins.hardCutRelease = b[14] >> 7;
    ins.hardCutReleaseFrames = (b[14] >> 4) & 7;
    ins.vibratoDepth = b[14] & 0x0F;
    ins.vibratoSpeed = b[15];
    ins.squareLowerLimit = b[16];
    ins.squareUpperLimit = b[17];
    ins.squareSpeed = b[18];
    ins.filterUpperLimit = b[19] & 0x3F;
    unused.filterUpperHighBits = uint8_t(b[19] >> 6);
    ins.playlistSpeed = b[20];
    ins.playlistLength = b[21];
}

// Every field must fit its bit width: masking silently would break the round
// trip and hide mistakes in songs built by hand.
std::string checkImage(const SongImage& image) {
    const Song& s = image.song;
    if (!inRange(s.version, 0, 1)) return "revision must be 0 or 1";
    if (!inRange(s.speedMultiplier, 1, 4)) return "speed multiplier must be 1..4";
    if (!inRange(s.restartPosition, 0, 0xFFFF)) return "restart position must be 0..65535";
    if (!inRange(s.trackLength, 1, 255))
        return "track length must be 1..255 (a song without steps does not load)";
    if (image.unusedHeaderBit > 1) return "unused header bit must be 0 or 1";
    if (size_t(s.positionCount) != s.positions.size() || s.positions.size() > 4095)
        return "the position count must match the positions, at most 4095";
    if (s.positions.empty()) return "the song has no positions (a song without them does not load)";
    if (s.tracks.empty() || s.tracks.size() > 256 || size_t(s.highestTrack) + 1 != s.tracks.size())
        return "there must be 1..256 tracks, and highestTrack one less";
    if (s.instruments.empty() || s.instruments.size() > 256 ||
        size_t(s.instrumentCount) + 1 != s.instruments.size())
        return "there must be at most 255 instruments, and instrumentCount of them";
    if (image.unusedBits.size() != s.instruments.size())
        return "unused instrument bits do not match the instruments";
    if (size_t(s.subsongCount) != s.subsongs.size() || s.subsongs.size() > 255)
        return "the subsong count must match the subsongs, at most 255";
    for (int32_t start : s.subsongs) {
        if (!inRange(start, 0, 0xFFFF)) return "subsong start must be 0..65535";
    }
    for (const Position& p : s.positions) {
        for (int k = 0; k < kChannels; ++k) {
            if (!inRange(p.track[k], 0, 255)) return "position track must be 0..255";
            if (!inRange(p.transpose[k], -128, 127)) return "position transpose must be -128..127";
        }
    }
    for (const std::vector<Step>& track : s.tracks) {
        if (track.size() != size_t(s.trackLength)) return "every track must have track-length steps";
        for (const Step& st : track) {
            if (!inRange(st.note, 0, 63) || !inRange(st.instrument, 0, 63) || !inRange(st.command, 0, 15) ||
                !inRange(st.parameter, 0, 255))
                return "step field out of range";
        }
    }
    if (image.omitTrack0 && !isEmptyTrack(s.tracks[0])) return "track 0 is omitted but not empty";
    for (size_t i = 1; i < s.instruments.size(); ++i) {
        const Instrument& in = s.instruments[i];
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
            !inRange(in.hardCutReleaseFrames, 0, 7) || image.unusedBits[i].filterUpperHighBits > 3)
            return "instrument field out of range";
        if (in.playlist.size() > 255 || size_t(in.playlistLength) != in.playlist.size())
            return "a playlist must have at most 255 rows, and playlistLength of them";
        for (const PlaylistEntry& e : in.playlist) {
            if (!inRange(e.note, 0, 63) || !inRange(e.fixedNote, 0, 1) || !inRange(e.waveform, 0, 7) ||
                !inRange(e.commands[0], 0, 7) || !inRange(e.commands[1], 0, 7) ||
                !inRange(e.parameters[0], 0, 255) || !inRange(e.parameters[1], 0, 255))
                return "playlist field out of range";
        }
        if (in.name.find('\0') != std::string::npos) return "instrument name contains a zero byte";
    }
    if (s.title.find('\0') != std::string::npos) return "title contains a zero byte";
    if (image.strings && !inRange(image.strings->offset, 0, 0xFFFF))
        return "string area offset must be 0..65535";
    return {};
}

}  // namespace

bool readSongImage(const uint8_t* data, size_t size, SongImage& image, std::string* error) {
    image = SongImage{};
    Song& s = image.song;
    auto fail = [&](std::string why) {
        if (error != nullptr) *error = std::move(why);
        return false;
    };
    if (data == nullptr) size = 0;
    if (size < kHeaderSize) return fail("too short for an AHX header (" + std::to_string(size) + " bytes)");
    if (size == kRejectedSize) return fail("65536 bytes long, a size that loaders reject");
    if (data[0] != 'T' || data[1] != 'H' || data[2] != 'X')
        return fail("not an AHX song (no \"THX\" at the start)");
    s.version = data[3];
    if (s.version >= 2) return fail("unsupported AHX format revision " + std::to_string(s.version));

    const size_t stringOffset = size_t(data[4]) << 8 | data[5];
    image.omitTrack0 = (data[6] & 0x80) != 0;
    s.speedMultiplier = ((data[6] >> 5) & 3) + 1;
    image.unusedHeaderBit = uint8_t((data[6] >> 4) & 1);
    s.positionCount = (data[6] & 0x0F) << 8 | data[7];
    s.restartPosition = data[8] << 8 | data[9];
    s.trackLength = data[10];
    s.highestTrack = data[11];
    s.instrumentCount = data[12];
    s.subsongCount = data[13];

    // Every item is checked against the end of the data before a byte of it is touched.
    size_t cursor = kHeaderSize;
    auto take = [&](size_t bytes) -> const uint8_t* {
        if (bytes > size - cursor) return nullptr;
        const uint8_t* item = data + cursor;
        cursor += bytes;
        return item;
    };
    auto cutShort = [&](const char* where) {
        return fail(std::string("cut short in the ") + where + " (the file ends at byte " +
                    std::to_string(size) + ")");
    };

    s.subsongs.reserve(size_t(s.subsongCount));
    for (int32_t i = 0; i < s.subsongCount; ++i) {
        const uint8_t* b = take(2);
        if (b == nullptr) return cutShort("subsong list");
        s.subsongs.push_back(b[0] << 8 | b[1]);
    }
    s.positions.resize(size_t(s.positionCount));
    for (Position& p : s.positions) {
        const uint8_t* b = take(8);
        if (b == nullptr) return cutShort("position list");
        for (int k = 0; k < kChannels; ++k) {
            p.track[k] = b[2 * k];
            p.transpose[k] = int8_t(b[2 * k + 1]);
        }
    }
    s.tracks.resize(size_t(s.highestTrack) + 1);
    for (size_t t = 0; t < s.tracks.size(); ++t) {
        std::vector<Step>& track = s.tracks[t];
        track.resize(size_t(s.trackLength));
        if (t == 0 && image.omitTrack0) continue;
        for (Step& step : track) {
            const uint8_t* b = take(3);
            if (b == nullptr) return cutShort("tracks");
            step = decodeStep(b);
        }
    }
    s.instruments.resize(size_t(s.instrumentCount) + 1);
    image.unusedBits.resize(s.instruments.size());
    for (size_t i = 1; i < s.instruments.size(); ++i) {
        Instrument& ins = s.instruments[i];
        const uint8_t* b = take(kInstrumentHeaderSize);
        if (b == nullptr) return cutShort("instruments");
        decodeInstrument(b, ins, image.unusedBits[i]);
        ins.playlist.reserve(size_t(ins.playlistLength));
        for (int32_t r = 0; r < ins.playlistLength; ++r) {
            const uint8_t* e = take(4);
            if (e == nullptr) return cutShort("playlists");
            ins.playlist.push_back(decodePlaylistEntry(e));
        }
    }

    // The strings are read from the header's offset, wherever it points;
    // only the usual layout is left to be rebuilt from them.
    readStrings(data, size, stringOffset, s);
    std::vector<uint8_t> usual;
    putStrings(usual, s);
    if (stringOffset != cursor || !std::equal(usual.begin(), usual.end(), data + cursor, data + size)) {
        image.strings = StringArea{int32_t(stringOffset), std::vector<uint8_t>(data + cursor, data + size)};
    }
    return true;
}

std::vector<uint8_t> writeSongImage(const SongImage& image, std::string* error) {
    auto fail = [&](std::string why) {
        if (error != nullptr) *error = std::move(why);
        return std::vector<uint8_t>();
    };
    if (std::string why = checkImage(image); !why.empty()) return fail(std::move(why));
    const Song& s = image.song;

    std::vector<uint8_t> out(kHeaderSize, 0);
    out[0] = 'T';
    out[1] = 'H';
    out[2] = 'X';
    out[3] = byteOf(s.version);
    out[6] = byteOf((image.omitTrack0 ? 0x80 : 0) | ((s.speedMultiplier - 1) << 5) |
                    (image.unusedHeaderBit << 4) | (s.positionCount >> 8));
    out[7] = byteOf(s.positionCount);
    out[8] = byteOf(s.restartPosition >> 8);
    out[9] = byteOf(s.restartPosition);
    out[10] = byteOf(s.trackLength);
    out[11] = byteOf(s.highestTrack);
    out[12] = byteOf(s.instrumentCount);
    out[13] = byteOf(s.subsongCount);

    for (int32_t start : s.subsongs) {
        out.push_back(byteOf(start >> 8));
        out.push_back(byteOf(start));
    }
    for (const Position& p : s.positions) {
        for (int k = 0; k < kChannels; ++k) {
            out.push_back(byteOf(p.track[k]));
            out.push_back(byteOf(p.transpose[k]));
        }
    }
    for (size_t t = image.omitTrack0 ? 1 : 0; t < s.tracks.size(); ++t) {
        for (const Step& st : s.tracks[t]) {
            out.push_back(byteOf((st.note << 2) | (st.instrument >> 4)));
            out.push_back(byteOf(((st.instrument & 0x0F) << 4) | st.command));
            out.push_back(byteOf(st.parameter));
        }
    }
    for (size_t i = 1; i < s.instruments.size(); ++i) {
        const Instrument& in = s.instruments[i];
        const InstrumentUnusedBits& unused = image.unusedBits[i];
        const uint8_t header[kInstrumentHeaderSize] = {
            byteOf(in.volume),
            byteOf(((in.filterSpeed & 0x1F) << 3) | in.waveLength),
            byteOf(in.attackFrames),
            byteOf(in.attackVolume),
            byteOf(in.decayFrames),
            byteOf(in.decayVolume),
            byteOf(in.sustainFrames),
            byteOf(in.releaseFrames),
            byteOf(in.releaseVolume),
            unused.bytes[0],
            unused.bytes[1],
            unused.bytes[2],
            byteOf(((in.filterSpeed >> 5) << 7) | in.filterLowerLimit),
            byteOf(in.vibratoDelay),
            byteOf((in.hardCutRelease << 7) | (in.hardCutReleaseFrames << 4) | in.vibratoDepth),
            byteOf(in.vibratoSpeed),
            byteOf(in.squareLowerLimit),
            byteOf(in.squareUpperLimit),
            byteOf(in.squareSpeed),
            byteOf((unused.filterUpperHighBits << 6) | in.filterUpperLimit),
            byteOf(in.playlistSpeed),
            byteOf(in.playlistLength),
        };
        out.insert(out.end(), header, header + kInstrumentHeaderSize);
        for (const PlaylistEntry& e : in.playlist) {
            out.push_back(byteOf((e.commands[1] << 5) | (e.commands[0] << 2) | (e.waveform >> 1)));
            out.push_back(byteOf(((e.waveform & 1) << 7) | (e.fixedNote << 6) | e.note));
            out.push_back(byteOf(e.parameters[0]));
            out.push_back(byteOf(e.parameters[1]));
        }
    }

    const size_t songDataEnd = out.size();
    if (!image.strings) {
        if (songDataEnd > 0xFFFF) {
            return fail("the song data end at byte " + std::to_string(songDataEnd) +
                        ", past the 16-bit offset of the string area (65535)");
        }
        out[4] = byteOf(int32_t(songDataEnd >> 8));
        out[5] = byteOf(int32_t(songDataEnd));
        putStrings(out, s);
    } else {
        out[4] = byteOf(image.strings->offset >> 8);
        out[5] = byteOf(image.strings->offset);
        out.insert(out.end(), image.strings->tail.begin(), image.strings->tail.end());
        // The bytes decide what the loader reads; a record that says otherwise
        // would be written wrongly without a word.
        Song stored;
        stored.instruments.resize(s.instruments.size());
        readStrings(out.data(), out.size(), size_t(image.strings->offset), stored);
        if (stored.title != s.title) return fail("the title differs from the one the string area holds");
        for (size_t i = 1; i < s.instruments.size(); ++i) {
            if (stored.instruments[i].name != s.instruments[i].name) {
                return fail("the name of instrument " + std::to_string(i) +
                            " differs from the one the string area holds");
            }
        }
    }
    if (out.size() == kRejectedSize)
        return fail("the song would be exactly 65536 bytes long, a size that loaders reject");
    return out;
}

SongImage imageOf(const Song& song, bool omitTrack0) {
    SongImage image;
    image.song = song;
    Song& s = image.song;
    s.positionCount = int32_t(s.positions.size());
    s.highestTrack = int32_t(s.tracks.size()) - 1;
    s.instrumentCount = int32_t(s.instruments.size()) - 1;
    s.subsongCount = int32_t(s.subsongs.size());
    for (Instrument& in : s.instruments) in.playlistLength = int32_t(in.playlist.size());
    image.omitTrack0 = omitTrack0;
    image.unusedBits.resize(s.instruments.size());
    return image;
}

}  // namespace ahx
