#include <algorithm>

#include "ahx/commands.h"
#include "ahx/fixed_point.h"
#include "ahx/player.h"

namespace ahx {

namespace {

// filterPos may be 0 (a voice reset, no instrument yet) or outside the
// limits after a playlist jump; the wave set it picks never leaves the bank.
int32_t waveSetOf(int32_t filterPos) {
    return std::clamp(filterPos, 1, 63) - 1;
}

// The shift is arithmetic, not a rotation: a negative t fills the top byte
// with ones, and the noise offsets depend on it.
uint32_t nextNoiseSeed(uint32_t seed) {
    const uint32_t t = seed + 0x222B98u;
    const uint32_t u = (t << 24) | uint32_t(int32_t(t) >> 8);
    return ((u + 0xBEFF3u) ^ 0x4Bu) - 0x1A4Fu;
}

int32_t playlistRows(const Voice& v) {
    if (v.currentInstrument == nullptr || v.currentPlaylist == nullptr) return 0;
    return std::min(v.currentInstrument->playlistLength, int32_t(v.currentPlaylist->size()));
}

bool playlistHasRowLeft(const Voice& v) {
    return v.playlistRow >= 0 && v.playlistRow < playlistRows(v);
}

// Answers true on the frame a note delay runs out, when the delayed step is
// to be read again.
bool noteDelayRunsOut(Voice& v) {
    if (!v.noteDelayOn) return false;
    if (v.noteDelayWait <= 0) return true;
    --v.noteDelayWait;
    return false;
}

void runNoteCut(Voice& v) {
    if (!v.noteCutOn) return;
    if (v.noteCutWait > 0) {
        --v.noteCutWait;
        return;
    }
    v.noteCutOn = 0;
    if (v.hardCutReleaseOn) {
        v.releaseEnvelope(v.hardCutReleaseLength);
    } else {
        v.noteVolume = 0;
    }
}

void slideVolume(Voice& v) {
    v.noteVolume = std::clamp(v.noteVolume + v.volumeSlideUp - v.volumeSlideDown, 0, kFullVolume);
}

// A tone portamento stops exactly on its target instead of passing it.
void slidePeriod(Voice& v) {
    if (!v.slideOn) return;
    if (!v.slideToTarget) {
        v.slideOffset = wrappingAdd(v.slideOffset, v.slideSpeed);
        v.periodChanged = 1;
        return;
    }
    const int32_t diff = wrappingSub(v.slideOffset, v.slideTarget);
    if (diff == 0) return;
    const int32_t speed = diff > 0 ? -v.slideSpeed : v.slideSpeed;
    if ((wrappingAdd(diff, speed) ^ diff) < 0) {
        v.slideOffset = v.slideTarget;
    } else {
        v.slideOffset = wrappingAdd(v.slideOffset, speed);
    }
    v.periodChanged = 1;
}

void runVibrato(Voice& v) {
    if (v.vibratoDepth == 0) return;
    if (v.vibratoDelay > 0) {
        --v.vibratoDelay;
        return;
    }
    v.vibratoOffset = (vibratoTable[v.vibratoPhase & 63] * v.vibratoDepth) >> 7;
    v.periodChanged = 1;
    v.vibratoPhase = (v.vibratoPhase + v.vibratoSpeed) & 63;
}

// The offset is subtracted: a playlist slide up lowers the period.
void slidePlaylistPeriod(Voice& v) {
    if (!v.playlistSlideOn) return;
    v.playlistSlideOffset = wrappingSub(v.playlistSlideOffset, v.playlistSlideSpeed);
    if (v.playlistSlideOffset != 0) v.periodChanged = 1;
}

// Square and filter modulation move a position `moves` times between two
// limits, turning at each. One switched on outside its limits (or on one)
// first heads toward them and does not turn at the first limit it meets.
int32_t bounce(int32_t pos, int32_t lower, int32_t upper, int32_t moves, int32_t& init, int32_t& sign,
               int32_t& slidingIn) {
    if (init) {
        init = 0;
        if (pos <= lower) {
            slidingIn = 1;
            sign = 1;
        } else if (pos >= upper) {
            slidingIn = 1;
            sign = -1;
        }
    }
    for (int32_t i = 0; i < moves; ++i) {
        if (pos == lower || pos == upper) {
            if (slidingIn) {
                slidingIn = 0;
            } else {
                sign = -sign;
            }
        }
        pos = wrappingAdd(pos, sign);
    }
    return pos;
}

// Only a square wave's width is modulated, one width every squareSpeed frames.
void modulateSquare(Voice& v) {
    if (v.waveform != Waveform::square || !v.squareOn) return;
    if (--v.squareWait > 0) return;
    v.squarePos =
        bounce(v.squarePos, v.squareLower, v.squareUpper, 1, v.squareInit, v.squareSign, v.squareSlidingIn);
    v.squareChanged = 1;
    v.squareWait = v.currentInstrument != nullptr ? v.currentInstrument->squareSpeed : 0;
}

// The filter sweeps whatever the waveform. Speeds 0..2 move several sets a
// frame, 3 and 4 one a frame, and s above that one every s - 3 frames.
void modulateFilter(Voice& v) {
    if (!v.filterOn) return;
    if (--v.filterWait > 0) return;
    const int32_t moves = v.filterSpeed < 3 ? 5 - v.filterSpeed : 1;
    v.filterPos = bounce(v.filterPos, v.filterLower, v.filterUpper, moves, v.filterInit, v.filterSign,
                         v.filterSlidingIn);
    v.waveChanged = 1;
    v.filterWait = std::max(v.filterSpeed - 3, 1);
}

void toggleSquareModulation(Voice& v, int32_t sign) {
    v.squareOn = v.squareOn ? 0 : 1;
    v.squareInit = v.squareOn;
    v.squareSign = sign;
}

void toggleFilterModulation(Voice& v, int32_t sign) {
    v.filterOn = v.filterOn ? 0 : 1;
    v.filterInit = v.filterOn;
    v.filterSign = sign;
}

// Revision 0 knows only the square modulation; later ones toggle the square
// with the low nibble and the filter with the high, an F starting either
// downward.
void toggleModulation(Voice& v, int32_t parameter, int32_t version) {
    if (version == 0 || parameter == 0) {
        toggleSquareModulation(v, 1);
        return;
    }
    const int32_t square = parameter & 0x0F;
    const int32_t filter = parameter & 0xF0;
    if (square != 0) toggleSquareModulation(v, square == 0x0F ? -1 : 1);
    if (filter != 0) toggleFilterModulation(v, filter == 0xF0 ? -1 : 1);
}

int32_t framePeriod(const Voice& v) {
    const int32_t note = v.fixedNote ? v.instrumentNote : v.trackNote + v.transpose + v.instrumentNote - 1;
    int32_t period = periodOf(note);
    // A fixed note ignores the track's slides, not the playlist's or vibrato.
    if (!v.fixedNote) period = wrappingAdd(period, v.slideOffset);
    period = wrappingAdd(period, wrappingAdd(v.playlistSlideOffset, v.vibratoOffset));
    return std::clamp(period, kLowestPeriod, kHighestPeriod);
}

int32_t frameVolume(const Voice& v, int32_t masterVolume) {
    int32_t volume = scaleByVolume(volumeFromEnvelope(v.envelopeVolume), v.noteVolume);
    volume = scaleByVolume(volume, v.playlistVolume);
    volume = scaleByVolume(volume, v.channelVolume);
    return scaleByVolume(volume, masterVolume);
}

}  // namespace

void Player::advanceFrame(int k) {
    Voice& v = voices[k];
    if (noteDelayRunsOut(v)) readStep(k);
    armHardCut(v);
    runNoteCut(v);
    v.advanceEnvelope();
    slideVolume(v);
    slidePeriod(v);
    runVibrato(v);
    advancePlaylist(k);
    slidePlaylistPeriod(v);
    modulateSquare(v);
    modulateFilter(v);
    // Setting a square position switches any voice to the square wave.
    if (v.waveform == Waveform::square || v.squareChanged) buildSquare(v);
    // Noise takes a fresh offset every frame.
    if (v.waveform == Waveform::noise) v.waveChanged = 1;
    if (v.waveChanged) pickWaveSource(v);
    v.nextPeriod = framePeriod(v);
    v.nextVolume = frameVolume(v, masterVolume);
}

// The cut is timed against the end of the step, so it is armed as soon as
// the following step is known to start an instrument; one that is already
// counting down disarms the hard cut for the rest of the note.
void Player::armHardCut(Voice& v) {
    if (v.hardCutFrames == 0) return;
    const Step& following = stepIndex + 1 < song.trackLength ? stepAt(v.trackNumber, stepIndex + 1)
                                                             : stepAt(v.nextTrackNumber, 0);
    if (instrumentAt(following.instrument) == nullptr) return;
    const int32_t d = std::max(tempo - v.hardCutFrames, 0);
    if (!v.noteCutOn) {
        v.noteCutOn = 1;
        v.noteCutWait = d;
        v.hardCutReleaseLength = tempo - d;
    } else {
        v.hardCutFrames = 0;
    }
}

void Player::advancePlaylist(int k) {
    Voice& v = voices[k];
    if (!playlistHasRowLeft(v)) {
        if (v.playlistWait != 0) {
            --v.playlistWait;
        } else {
            v.playlistSlideSpeed = 0;
        }
        return;
    }
    if (--v.playlistWait > 0) return;

    const PlaylistEntry& entry = (*v.currentPlaylist)[size_t(v.playlistRow)];
    v.playlistRow = v.playlistRow + 1;
    v.playlistWait = v.playlistSpeed;
    // A row names the waveforms one higher; 0 keeps the current one, and so
    // do 5..7, which name no source.
    if (entry.waveform >= Waveform::triangle + 1 && entry.waveform <= Waveform::noise + 1) {
        v.waveform = entry.waveform - 1;
        v.waveChanged = 1;
        v.playlistSlideOffset = 0;
        v.playlistSlideSpeed = 0;
    }
    v.playlistSlideOn = 0;
    playlistCommand(k, entry.commands[0], entry.parameters[0]);
    playlistCommand(k, entry.commands[1], entry.parameters[1]);
    if (entry.note != 0) {
        v.instrumentNote = entry.note;
        v.periodChanged = 1;
        v.fixedNote = entry.fixedNote;
    }
}

// One period of the voice's wave length, decimated from the 128-sample row
// of its width in the voice's wave set.
void Player::buildSquare(Voice& v) {
    // Widths past the middle fold back; anything a large set position
    // would push outside the 32 rows (or the row before them) is held.
    int32_t x = wrappingShiftLeft(v.squarePos, 5 - v.waveLength);
    if (x > 32) x = 64 - x;
    x = std::clamp(x, 0, 32);
    if (waveTables != nullptr) {
        const int32_t row =
            waveSetOf(v.filterPos) * kWaveSetSize + kSquareWavesOffset + (x - 1) * kSquareWaveSize;
        const int32_t stride = 32 >> v.waveLength;
        const int32_t count = 4 << v.waveLength;
        for (int32_t i = 0; i < count; ++i) {
            v.squareBuffer[i] = waveTables->samples[size_t(row + i * stride)];
        }
    }
    squarePointer = v.squareBuffer;
    v.waveChanged = 1;
    v.waveform = Waveform::square;
    v.squareChanged = 0;
}

void Player::pickWaveSource(Voice& v) {
    // Offsets are worked out as integers first so that the pointer only
    // ever names a sample inside the bank.
    const int32_t setDelta = (waveSetOf(v.filterPos) - kUnfilteredSet) * kWaveSetSize;
    switch (v.waveform) {
        case Waveform::triangle:
            v.waveSource = trianglePointer != nullptr
                               ? trianglePointer + (setDelta + waveLengthOffsets[v.waveLength])
                               : nullptr;
            break;
        case Waveform::sawtooth:
            v.waveSource = sawtoothPointer != nullptr
                               ? sawtoothPointer + (setDelta + waveLengthOffsets[v.waveLength])
                               : nullptr;
            break;
        case Waveform::square:
            // Built from the right wave set already.
            v.waveSource = squarePointer;
            break;
        default:
            v.waveSource =
                noisePointer != nullptr ? noisePointer + (setDelta + int32_t(noiseSeed & 0x4FEu)) : nullptr;
            noiseSeed = nextNoiseSeed(noiseSeed);
            break;
    }
}

void Player::playlistCommand(int k, int32_t command, int32_t parameter) {
    Voice& v = voices[k];
    switch (PlaylistCommand(command)) {
        case PlaylistCommand::setFilter:
            // Songs of revision 0 ignore it; a position past the 63 wave sets
            // is held at the last one.
            if (song.version > 0 && parameter != 0) {
                v.filterPos = std::clamp(parameter, 1, 63);
                v.waveChanged = 1;
            }
            break;
        case PlaylistCommand::slideUp:
            v.playlistSlideSpeed = parameter;
            v.playlistSlideOn = 1;
            break;
        case PlaylistCommand::slideDown:
            v.playlistSlideSpeed = -parameter;
            v.playlistSlideOn = 1;
            break;
        case PlaylistCommand::setSquarePosition:
            // A square position set on the track holds against one row.
            if (v.keepSquarePos) {
                v.keepSquarePos = 0;
            } else {
                v.squarePos = parameter >> (5 - v.waveLength);
            }
            break;
        case PlaylistCommand::toggleModulation:
            toggleModulation(v, parameter, song.version);
            break;
        case PlaylistCommand::jump:
            v.playlistRow = parameter;
            break;
        case PlaylistCommand::setVolume:
            // Unlike the track's volume command, the middle range is this
            // voice's playlist factor.
            if (parameter >= 0 && parameter <= 64) {
                v.noteVolume = parameter;
            } else if (parameter >= 80 && parameter <= 144) {
                v.playlistVolume = parameter - 80;
            } else if (parameter >= 160 && parameter <= 224) {
                v.channelVolume = parameter - 160;
            }
            break;
        case PlaylistCommand::setSpeed:
            v.playlistSpeed = parameter;
            v.playlistWait = parameter;
            break;
        default:
            break;
    }
}

void Player::writeOutput(int k) {
    Voice& v = voices[k];
    v.outVolume = v.nextVolume;
    if (v.periodChanged) {
        v.periodChanged = 0;
        v.outPeriod = v.nextPeriod;
    }
    if (v.waveChanged && v.waveSource != nullptr) {
        if (v.waveform == Waveform::noise) {
            std::copy_n(v.waveSource, kOutWaveLength, v.outWave);
        } else {
            const int32_t length = 4 << v.waveLength;
            for (int32_t at = 0; at < kOutWaveLength; at += length) {
                std::copy_n(v.waveSource, length, v.outWave + at);
            }
        }
        v.outWave[kOutWaveLength] = v.outWave[0];
    }
}

}  // namespace ahx
