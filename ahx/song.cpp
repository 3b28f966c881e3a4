#include "ahx/song.h"

#include <algorithm>
#include <utility>

namespace ahx {
namespace {

constexpr int32_t kHeaderSize = 14;
constexpr int32_t kInstrumentHeaderSize = 22;

// Reads the image front to back; every item is checked against the end of
// the data before a byte of it is touched.
class ImageReader {
public:
    ImageReader(const uint8_t* data, int32_t size) : data_(data), size_(size) {}

    bool has(int32_t bytes) const { return bytes <= size_ - cursor_; }
    const uint8_t* take(int32_t bytes) {
        const uint8_t* item = data_ + cursor_;
        cursor_ += bytes;
        return item;
    }

    // A zero-terminated string at `offset`, cut at the end of the data.
    // Answers the offset just past its terminator (or the end of the data).
    int32_t stringAt(int32_t offset, std::string& out) const {
        out.clear();
        if (offset >= size_) return size_;
        const uint8_t* begin = data_ + offset;
        const uint8_t* end = data_ + size_;
        const uint8_t* zero = std::find(begin, end, uint8_t{0});
        out.assign(begin, zero);
        return zero == end ? size_ : int32_t(zero - data_) + 1;
    }

private:
    const uint8_t* data_;
    int32_t size_;
    int32_t cursor_ = kHeaderSize;
};

int32_t clampVolume(int32_t v) { return std::min(v, 64); }

void decodeInstrument(const uint8_t* b, Instrument& ins) {
    ins.volume = clampVolume(b[0]);
    ins.filterSpeed = ((b[12] & 0x80) | (b[1] >> 1)) >> 2;
    // Lengths 6 and 7 name no wave; the longest one is the nearest.
    ins.waveLength = std::min(b[1] & 7, 5);
    ins.attackFrames = b[2];
    ins.attackVolume = clampVolume(b[3]);
    ins.decayFrames = b[4];
    ins.decayVolume = clampVolume(b[5]);
    ins.sustainFrames = b[6];
    ins.releaseFrames = b[7];
    ins.releaseVolume = clampVolume(b[8]);
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
    ins.playlistSpeed = b[20];
    ins.playlistLength = b[21];
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

Step decodeStep(const uint8_t* b) {
    Step s;
    s.note = b[0] >> 2;
    s.instrument = ((b[0] & 3) << 4) | (b[1] >> 4);
    s.command = b[1] & 0x0F;
    s.parameter = b[2];
    return s;
}

// Fills `song`, which starts empty; answers false at the first fault.
bool parse(const uint8_t* data, int32_t size, Song& song) {
    if (size < kHeaderSize || size == 65536) return false;
    if (data[0] != 'T' || data[1] != 'H' || data[2] != 'X') return false;
    song.version = data[3];
    if (song.version >= 2) return false;

    ImageReader reader(data, size);
    int32_t nameCursor = reader.stringAt((data[4] << 8) | data[5], song.title);

    song.speedMultiplier = ((data[6] >> 5) & 3) + 1;
    song.positionCount = ((data[6] & 0x0F) << 8) | data[7];
    song.restartPosition = (data[8] << 8) | data[9];
    song.trackLength = data[10];
    song.highestTrack = data[11];
    song.instrumentCount = data[12];
    song.subsongCount = data[13];
    const bool track0Omitted = (data[6] & 0x80) != 0;
    // Nothing to play: the player would read a step that does not exist.
    if (song.positionCount == 0 || song.trackLength == 0) return false;

    song.subsongs.reserve(size_t(song.subsongCount));
    for (int32_t i = 0; i < song.subsongCount; ++i) {
        if (!reader.has(2)) return false;
        const uint8_t* b = reader.take(2);
        song.subsongs.push_back((b[0] << 8) | b[1]);
    }

    song.positions.resize(size_t(song.positionCount));
    for (Position& p : song.positions) {
        for (int k = 0; k < kChannels; ++k) {
            if (!reader.has(2)) return false;
            const uint8_t* b = reader.take(2);
            p.track[k] = b[0];
            p.transpose[k] = int8_t(b[1]);
        }
    }

    song.tracks.resize(size_t(song.highestTrack) + 1);
    for (int32_t t = 0; t <= song.highestTrack; ++t) {
        std::vector<Step>& track = song.tracks[size_t(t)];
        track.resize(size_t(song.trackLength));
        if (t == 0 && track0Omitted) continue;
        for (Step& s : track) {
            if (!reader.has(3)) return false;
            s = decodeStep(reader.take(3));
        }
    }

    song.instruments.resize(size_t(song.instrumentCount) + 1);
    for (int32_t i = 1; i <= song.instrumentCount; ++i) {
        Instrument& ins = song.instruments[size_t(i)];
        nameCursor = reader.stringAt(nameCursor, ins.name);
        if (!reader.has(kInstrumentHeaderSize)) return false;
        decodeInstrument(reader.take(kInstrumentHeaderSize), ins);
        ins.playlist.reserve(size_t(ins.playlistLength));
        for (int32_t r = 0; r < ins.playlistLength; ++r) {
            if (!reader.has(4)) return false;
            ins.playlist.push_back(decodePlaylistEntry(reader.take(4)));
        }
    }
    return true;
}

}  // namespace

int loadSong(Song& song, const uint8_t* data, int32_t size) {
    // Parse into a fresh record so that a rejected image leaves nothing half
    // filled and a successful one replaces everything the last song owned.
    Song loaded;
    bool ok = data != nullptr && parse(data, size, loaded);
    if (!ok) {
        const int32_t version = loaded.version;
        releaseSong(song);
        clearSong(song);
        song.version = version;
        return 0;
    }
    song = std::move(loaded);
    return 1;
}

void clearSong(Song& song) {
    song.title.clear();
    song.restartPosition = 0;
    song.positionCount = 0;
    song.trackLength = 0;
    song.highestTrack = 0;
    song.instrumentCount = 0;
    song.subsongCount = 0;
    song.positions.clear();
    song.tracks.clear();
    song.instruments.clear();
    song.subsongs.clear();
}

void releaseSong(Song& song) {
    std::string().swap(song.title);
    std::vector<Position>().swap(song.positions);
    std::vector<std::vector<Step>>().swap(song.tracks);
    std::vector<Instrument>().swap(song.instruments);
    std::vector<int32_t>().swap(song.subsongs);
}

}  // namespace ahx
