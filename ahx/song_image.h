// An AHX song as its file stores it: every field at its stored value (before
// the loader's clamps), the bits the player never reads, and where the title
// and names lie. This is the one reader and the one writer of the format:
// the loader reads through it, the song compiler and decompiler convert
// between it and the text form, and tests and tools build songs with it.
//
// Reading an image and writing the result gives back the same bytes for
// every image the loader accepts, and every image the writer makes loads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ahx/song.h"

namespace ahx {

// Instrument header bits that the player ignores.
struct InstrumentUnusedBits {
    uint8_t bytes[3] = {};            // header bytes 9..11
    uint8_t filterUpperHighBits = 0;  // header byte 19, bits 7-6 (0..3)
};

// The string area of an image whose strings are not laid out the usual way:
// the title somewhere else than right after the song data, a name running
// into the end of the image, or bytes between or after the strings.
struct StringArea {
    int32_t offset = 0;         // header bytes 4-5: where the title starts (0..65535)
    std::vector<uint8_t> tail;  // every byte after the song data, as stored
};

struct SongImage {
    // Counts agree with their containers. Volumes, wave lengths and the
    // other fields hold what the file stores; the loader clamps them after
    // reading. The title and names are what the loader takes from the file.
    Song song;
    bool omitTrack0 = false;                       // header byte 6 bit 7; track 0 must then be empty
    uint8_t unusedHeaderBit = 0;                   // header byte 6 bit 4
    std::vector<InstrumentUnusedBits> unusedBits;  // indexed like song.instruments
    // Empty for the usual layout: the title and the names, each ending in a
    // zero byte, right after the song data and nothing after them. When set,
    // its bytes are written as they are and must hold the title and names
    // that `song` has.
    std::optional<StringArea> strings;
};

// Reads the image data[0..size). Answers false, with the reason in `error`
// when it is given, for anything that is not a whole song: shorter than a
// header, exactly 65536 bytes long (a size loaders reject), no "THX", a
// revision other than 0 or 1, or cut short before its last playlist entry.
// image.song.version holds the revision byte whenever the magic was read.
bool readSongImage(const uint8_t* data, size_t size, SongImage& image, std::string* error = nullptr);

// Builds the image. Answers an empty vector, with the reason in `error` when
// it is given, when the record cannot be stored (counts that disagree with
// their containers, a value beyond its bit width, track 0 omitted but not
// empty, a string area past the 16-bit offset or strings that differ from
// `strings`, an image of exactly 65536 bytes) or would store a song that the
// loader rejects (no position, or a track length of 0).
std::vector<uint8_t> writeSongImage(const SongImage& image, std::string* error = nullptr);

// `song` in the usual layout with nothing in the unused bits. The counts
// are taken from the containers' sizes.
SongImage imageOf(const Song& song, bool omitTrack0 = false);

}  // namespace ahx
