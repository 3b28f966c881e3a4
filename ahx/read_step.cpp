#include <algorithm>

#include "ahx/player.h"

namespace ahx {

namespace {

// Notes are 6-bit but the period table ends at 60.
int32_t periodOf(int32_t note) {
    return periodTable[std::clamp(note, 0, 60)];
}

// slideOffset may have wrapped after long slides; the comparison wraps too.
int32_t wrappingAdd(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) + uint32_t(b));
}

}  // namespace

void Player::readStep(int k) {
    Voice& v = voices[k];
    v.volumeSlideDown = 0;
    v.volumeSlideUp = 0;

    const Step& step = stepAt(positionAt(position).track[k], stepIndex);
    const int32_t command = step.command;
    const int32_t parameter = step.parameter;
    const int32_t hi = parameter >> 4;
    const int32_t lo = parameter & 15;
    const int32_t dec = hi * 10 + lo;
    const Instrument* instrument = instrumentAt(step.instrument);

    // A delay armed by an earlier step that never ran out (a later channel
    // lowered the tempo) must not make this step wait for it, or the step
    // would be read again on every frame.
    if (!(command == 0xE && hi == 0xD)) v.noteDelayOn = 0;

    switch (command) {
        case 0x0:
            if (lo >= 1 && lo <= 9) jumpPosition = lo;
            break;
        case 0x5:
        case 0xA:
            v.volumeSlideDown = lo;
            v.volumeSlideUp = hi;
            break;
        case 0xB:
            // Several B commands in one row multiply; the wrapped result is
            // caught when the position is stored.
            jumpPosition = int32_t(uint32_t(jumpPosition) * 100u + uint32_t(dec));
            breakPending = 1;
            break;
        case 0xD:
            jumpPosition = position + 1;
            jumpStep = dec < song.trackLength ? dec : 0;
            breakPending = 1;
            break;
        case 0xE:
            if (hi == 0xC && lo < tempo) {
                v.noteCutWait = lo;
                if (lo != 0) {
                    v.noteCutOn = 1;
                    v.hardCutReleaseOn = 0;
                }
            } else if (hi == 0xD) {
                if (v.noteDelayOn) {
                    v.noteDelayOn = 0;
                } else if (lo < tempo) {
                    v.noteDelayWait = lo;
                    if (lo != 0) {
                        v.noteDelayOn = 1;
                        return;
                    }
                }
            }
            break;
        case 0xF:
            tempo = parameter;
            break;
        default:
            break;
    }

    if (instrument != nullptr) {
        v.playlistVolume = 64;
        v.slideTarget = 0;
        v.slideOffset = 0;
        v.slideSpeed = 0;
        v.envelopeVolume = 0;
        v.currentInstrument = instrument;
        v.computeEnvelope();
        v.waveLength = std::clamp(instrument->waveLength, 0, 5);
        v.noteVolume = std::clamp(instrument->volume, 0, 64);

        v.vibratoPhase = 0;
        v.vibratoDelay = instrument->vibratoDelay;
        v.vibratoDepth = instrument->vibratoDepth;
        v.vibratoSpeed = instrument->vibratoSpeed;
        v.vibratoOffset = 0;

        v.hardCutReleaseOn = instrument->hardCutRelease;
        v.hardCutFrames = instrument->hardCutReleaseFrames;

        v.squareSlidingIn = 0;
        v.keepSquarePos = 0;
        v.squareOn = 0;
        v.squareWait = 0;
        const int32_t squareA = instrument->squareLowerLimit >> (5 - v.waveLength);
        const int32_t squareB = instrument->squareUpperLimit >> (5 - v.waveLength);
        v.squareLower = std::min(squareA, squareB);
        v.squareUpper = std::max(squareA, squareB);

        // Limits the modulation could not reach would let filterPos run off
        // the 63 wave sets, so both are held to 1..63.
        v.filterOn = 0;
        v.filterWait = 0;
        v.filterSlidingIn = 0;
        v.filterSpeed = instrument->filterSpeed;
        const int32_t filterA = std::clamp(instrument->filterLowerLimit, 1, 63);
        const int32_t filterB = std::clamp(instrument->filterUpperLimit, 1, 63);
        v.filterLower = std::min(filterA, filterB);
        v.filterUpper = std::max(filterA, filterB);
        v.filterPos = 32;

        v.playlistRow = 0;
        v.playlistWait = 0;
        v.playlistSpeed = instrument->playlistSpeed;
        v.currentPlaylist = &instrument->playlist;
    }

    v.slideOn = 0;

    switch (command) {
        case 0x3:
        case 0x5:
            // The note is only the portamento's target.
            if (parameter != 0) v.slideSpeed = parameter;
            if (step.note != 0) {
                const int32_t distance = periodOf(v.trackNote) - periodOf(step.note);
                if (wrappingAdd(v.slideOffset, distance) != 0) v.slideTarget = -distance;
            }
            v.slideOn = 1;
            v.slideToTarget = 1;
            break;
        case 0x9:
            v.squarePos = parameter >> (5 - v.waveLength);
            v.squareChanged = 1;
            v.keepSquarePos = 1;
            [[fallthrough]];
        default:
            if (step.note != 0) {
                v.trackNote = step.note;
                v.periodChanged = 1;
            }
            break;
    }

    switch (command) {
        case 0x1:
            v.slideSpeed = -parameter;
            v.slideOn = 1;
            v.slideToTarget = 0;
            break;
        case 0x2:
            v.slideSpeed = parameter;
            v.slideOn = 1;
            v.slideToTarget = 0;
            break;
        case 0xC:
            if (parameter <= 64) {
                v.noteVolume = parameter;
            } else if (parameter >= 80 && parameter <= 144) {
                for (Voice& each : voices) each.channelVolume = parameter - 80;
            } else if (parameter >= 160 && parameter <= 224) {
                v.channelVolume = parameter - 160;
            }
            break;
        case 0xE:
            switch (hi) {
                case 0x1:
                    v.slideOffset = -lo;
                    v.periodChanged = 1;
                    break;
                case 0x2:
                    v.slideOffset = lo;
                    v.periodChanged = 1;
                    break;
                case 0x4:
                    v.vibratoDepth = lo;
                    break;
                case 0xA:
                    v.noteVolume = std::min(v.noteVolume + lo, 64);
                    break;
                case 0xB:
                    v.noteVolume = std::max(v.noteVolume - lo, 0);
                    break;
                default:
                    break;
            }
            break;
        default:
            break;
    }
}

}  // namespace ahx
