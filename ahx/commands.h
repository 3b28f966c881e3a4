// What a track step and a playlist row ask for, and the waveforms a voice
// plays, by name.
#pragma once

#include <cstdint>

namespace ahx {

// Step::command. Commands 4, 6, 7 and 8 do nothing.
enum class TrackCommand : int32_t {
    jumpHundreds = 0x0,  // the hundreds of a positionJump on a later channel of the row
    slideUp = 0x1,
    slideDown = 0x2,
    tonePortamento = 0x3,
    tonePortamentoVolumeSlide = 0x5,  // one parameter for both
    setSquarePosition = 0x9,
    volumeSlide = 0xA,
    positionJump = 0xB,
    setVolume = 0xC,
    positionBreak = 0xD,  // to a step of the next position
    extended = 0xE,       // the parameter's high nibble is an ExtendedCommand
    setTempo = 0xF,
};

// The high nibble of an extended command's parameter; the low nibble is its
// value. The others do nothing.
enum class ExtendedCommand : int32_t {
    fineSlideUp = 0x1,
    fineSlideDown = 0x2,
    setVibratoDepth = 0x4,
    fineVolumeUp = 0xA,
    fineVolumeDown = 0xB,
    noteCut = 0xC,
    noteDelay = 0xD,
};

// PlaylistEntry::commands.
enum class PlaylistCommand : int32_t {
    setFilter = 0,
    slideUp = 1,
    slideDown = 2,
    setSquarePosition = 3,
    toggleModulation = 4,
    jump = 5,  // to a row of the playlist
    setVolume = 6,
    setSpeed = 7,
};

// Voice::waveform. A playlist row names them one higher, 0 keeping the
// voice's waveform.
struct Waveform {
    static constexpr int32_t triangle = 0;
    static constexpr int32_t sawtooth = 1;
    static constexpr int32_t square = 2;
    static constexpr int32_t noise = 3;
};

// A step's parameter read as two nibbles, or as two decimal digits.
constexpr int32_t highNibble(int32_t parameter) {
    return parameter >> 4;
}
constexpr int32_t lowNibble(int32_t parameter) {
    return parameter & 15;
}
constexpr int32_t decimalOf(int32_t parameter) {
    return highNibble(parameter) * 10 + lowNibble(parameter);
}

}  // namespace ahx
