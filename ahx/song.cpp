#include "ahx/song.h"

#include <algorithm>
#include <utility>

#include "ahx/song_image.h"

namespace ahx {
namespace {

int32_t clampVolume(int32_t v) {
    return std::min(v, 64);
}

}  // namespace

int loadSong(Song& song, const uint8_t* data, int32_t size) {
    // Read into a fresh record so that a rejected image leaves nothing half
    // filled and a successful one replaces everything the last song owned.
    SongImage image;
    const bool read = size >= 0 && readSongImage(data, size_t(size), image);
    Song& loaded = image.song;
    // Nothing to play: the player would read a step that does not exist.
    if (!read || loaded.positionCount == 0 || loaded.trackLength == 0) {
        const int32_t version = loaded.version;
        releaseSong(song);
        clearSong(song);
        song.version = version;
        return 0;
    }
    for (size_t i = 1; i < loaded.instruments.size(); ++i) {
        Instrument& ins = loaded.instruments[i];
        ins.volume = clampVolume(ins.volume);
        ins.attackVolume = clampVolume(ins.attackVolume);
        ins.decayVolume = clampVolume(ins.decayVolume);
        ins.releaseVolume = clampVolume(ins.releaseVolume);
        // Lengths 6 and 7 name no wave; the longest one is the nearest.
        ins.waveLength = std::min(ins.waveLength, 5);
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
