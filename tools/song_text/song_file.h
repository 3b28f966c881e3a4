// An AHX song as its file stores it: the parsed `ahx::Song` plus the few bits
// that the player never reads but that a file may carry. Decoding then
// encoding a song file gives back the same bytes, which is what lets the song
// compiler and decompiler round-trip a song exactly.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ahx/song.h"

namespace tools {

// Instrument bits that the player ignores.
struct InstrumentUnusedBits {
    uint8_t bytes[3] = {};            // header bytes 9..11
    uint8_t filterUpperHighBits = 0;  // header byte 19, bits 7-6 (0..3)
};

struct SongFile {
    // Counts (`positionCount`, `highestTrack`, `instrumentCount`,
    // `subsongCount`, `playlistLength`) must agree with their containers.
    ahx::Song song;
    bool omitTrack0 = false;                       // header byte 6 bit 7; track 0 must then be empty
    uint8_t unusedHeaderBit = 0;                   // header byte 6 bit 4
    std::vector<InstrumentUnusedBits> unusedBits;  // indexed like song.instruments
};

// Builds the file image. The layout is the canonical one: the packed data from
// offset 14, then the title and instrument names right after the last
// playlist entry. Answers an empty vector and a message in `error` when the
// song cannot be stored (counts or values out of range, track 0 not empty
// while omitted, string area beyond a 16-bit offset, or an image of exactly
// 65536 bytes, which loaders reject).
std::vector<uint8_t> encodeSongFile(const SongFile& file, std::string& error);

// Reads a file image. Accepts exactly the images that `encodeSongFile` can
// produce, so that encoding the result gives back `bytes`; any other image
// (cut short, revision 2 or more, string area not right after the packed
// data, bytes after the last name) is refused with a message in `error`.
bool decodeSongFile(std::span<const uint8_t> bytes, SongFile& file, std::string& error);

}  // namespace tools
