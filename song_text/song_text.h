// The text form of an AHX song, for writing songs by hand and keeping them
// under version control: one line per step, position and playlist row, so a
// change to the music is a change to a few lines.
//
// A line holds whitespace-separated fields; a `#` at the start of a field
// starts a comment that runs to the end of the line (inside a field it is the
// sharp of a note, D#3). Blank lines are ignored.
// Numbers are decimal unless noted. Example:
//
//     title "Harbour Lights"
//     revision 1              # format revision, 0 or 1
//     speed-multiplier 1      # replay frames per 1/50 s, 1..4
//     restart 0               # position played after the last one
//     track-length 16         # steps in every track, 1..255
//     track-0 omitted         # or "stored"; omitted requires track 0 empty
//     subsongs 4 12           # optional: start positions of subsongs
//     unused-header-bit 1     # optional: byte 6 bit 4, which players ignore
//
//     positions               # one line per position: index, then track
//         0   1 +0   2 +0   3 -5   4 +12    # and transpose for channels 0..3
//
//     track 0 empty           # every step empty
//     track 1                 # exactly track-length rows follow
//         0 C-3 01 F06        # index, note, instrument, command + parameter
//         1 --- -- 000        # "---" no note, "--" no instrument
//
//     instrument 1 "Bass"     # instruments are numbered 1, 2, ... in order
//         volume 48
//         wave-length 5       # 0..7 (0..5 give 4 * 2^n samples per period)
//         attack 1 64         # frames, volume
//         decay 8 40          # frames, volume
//         sustain 20          # frames
//         release 10 0        # frames, volume
//         filter 10 31 4      # lower limit, upper limit, speed
//         square 16 48 2      # lower limit, upper limit, speed
//         vibrato 6 3 24      # delay, depth, speed
//         hard-cut 3 release  # frames 0..7, "release" fades instead of cutting
//         unused-bytes 00 00 00   # optional: header bytes 9..11 (hex)
//         unused-filter-bits 0    # optional: byte 19 bits 7-6
//         playlist 1          # frames per row; the rows follow
//             0 sqr +0  420 000   # index, waveform, note, two commands
//             1 --- +12 000 000
//             2 tri =C-4 501 000
//
// Notes are C-1 (1) .. B-5 (60) and on up to D-6 (63), with sharps: C-, C#, D-,
// ... B-. A step's command and parameter are three hex digits (command, then
// the parameter byte), as are a playlist row's commands (0..7, then the
// parameter). Playlist waveforms: "---" keep, tri, saw, sqr, noi, or a digit
// 0..7. Playlist notes: "---" none, "+N" relative (N semitones above the step's
// note; stored as N + 1), "=NOTE" fixed, "=---" no note with the fixed flag.
// Strings are in double quotes; `\"`, `\\` and `\xNN` escape other bytes
// (any but zero, which ends a string in the file).
// Every instrument field defaults to 0; the header defaults are revision 1,
// speed multiplier 1, restart 0, track 0 stored, no subsongs, empty title.
// `track-length` is required before the first track, and tracks are listed
// in order from 0 without gaps.
//
//     string-area 1234        # optional, with "tail": the title's offset
//     tail                    # optional: every byte after the song data
//            0 62 61 73 73 00 ...     # offset in the tail, then up to 32 bytes
//
// The text holds every bit a song file holds, the bits players ignore
// included, so printing a read image and parsing it gives the same file.
// A file whose title and names are not laid out the usual way (right after
// the song data, each ending in a zero byte, nothing after them) is printed
// with `string-area` and `tail`, which hold its bytes as they are; its title
// and names must then agree with those bytes.
//
// A song must have at least one position and a track length of 1 or more,
// as the loader rejects anything else. A restart position or a subsong start
// outside the position list is accepted with a warning: the player starts
// such a subsong, or continues after the last position, at position 0.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ahx/song_image.h"

namespace tools {

struct SongTextError {
    int line = 0;  // 1-based; 0 when the message concerns the whole text
    std::string message;
};

// "NAME:LINE: message", or "NAME: message" for a message about the whole text.
std::string describeSongTextError(std::string_view fileName, const SongTextError& error);

std::string printSongText(const ahx::SongImage& image);

// Answers false and fills `error` at the first mistake. What compiles but
// does not play as written is added to `warnings`, when given.
bool parseSongText(std::string_view text, ahx::SongImage& image, SongTextError& error,
                   std::vector<SongTextError>* warnings = nullptr);

}  // namespace tools
