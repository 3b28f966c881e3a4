#include <algorithm>

#include "ahx/player.h"

namespace ahx {

namespace {

// Slide offsets grow without bound while a song keeps sliding one way; they
// wrap like the 32-bit registers they model instead of overflowing.
int32_t wrappingAdd(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) + uint32_t(b));
}
int32_t wrappingSub(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) - uint32_t(b));
}

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

}  // namespace

void Player::advanceFrame(int k) {
    Voice& v = voices[k];

    if (v.noteDelayOn) {
        if (v.noteDelayWait <= 0) {
            readStep(k);
        } else {
            --v.noteDelayWait;
        }
    }
    const Instrument* instrument = v.currentInstrument;

    if (v.hardCutFrames != 0) {
        const Step& following = stepIndex + 1 < song.trackLength ? stepAt(v.trackNumber, stepIndex + 1)
                                                                 : stepAt(v.nextTrackNumber, 0);
        if (instrumentAt(following.instrument) != nullptr) {
            const int32_t d = std::max(tempo - v.hardCutFrames, 0);
            if (!v.noteCutOn) {
                v.noteCutOn = 1;
                v.noteCutWait = d;
                v.hardCutReleaseLength = tempo - d;
            } else {
                v.hardCutFrames = 0;
            }
        }
    }

    if (v.noteCutOn) {
        if (v.noteCutWait <= 0) {
            v.noteCutOn = 0;
            if (v.hardCutReleaseOn) {
                v.releaseEnvelope(v.hardCutReleaseLength);
            } else {
                v.noteVolume = 0;
            }
        } else {
            --v.noteCutWait;
        }
    }

    v.advanceEnvelope();

    v.noteVolume = std::clamp(v.noteVolume + v.volumeSlideUp - v.volumeSlideDown, 0, 64);

    if (v.slideOn) {
        if (v.slideToTarget) {
            const int32_t diff = wrappingSub(v.slideOffset, v.slideTarget);
            if (diff != 0) {
                const int32_t speed = diff > 0 ? -v.slideSpeed : v.slideSpeed;
                if ((wrappingAdd(diff, speed) ^ diff) < 0) {
                    v.slideOffset = v.slideTarget;
                } else {
                    v.slideOffset = wrappingAdd(v.slideOffset, speed);
                }
                v.periodChanged = 1;
            }
        } else {
            v.slideOffset = wrappingAdd(v.slideOffset, v.slideSpeed);
            v.periodChanged = 1;
        }
    }

    if (v.vibratoDepth != 0) {
        if (v.vibratoDelay <= 0) {
            v.vibratoOffset = (vibratoTable[v.vibratoPhase & 63] * v.vibratoDepth) >> 7;
            v.periodChanged = 1;
            v.vibratoPhase = (v.vibratoPhase + v.vibratoSpeed) & 63;
        } else {
            --v.vibratoDelay;
        }
    }

    if (instrument != nullptr && v.playlistRow >= 0 && v.playlistRow < playlistRows(v)) {
        if (--v.playlistWait <= 0) {
            const PlaylistEntry& entry = (*v.currentPlaylist)[size_t(v.playlistRow)];
            v.playlistRow = v.playlistRow + 1;
            v.playlistWait = v.playlistSpeed;
            // Waveforms 5..7 name no source and keep the current one.
            if (entry.waveform >= 1 && entry.waveform <= 4) {
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
    } else if (v.playlistWait != 0) {
        --v.playlistWait;
    } else {
        v.playlistSlideSpeed = 0;
    }

    if (v.playlistSlideOn) {
        v.playlistSlideOffset = wrappingSub(v.playlistSlideOffset, v.playlistSlideSpeed);
        if (v.playlistSlideOffset != 0) v.periodChanged = 1;
    }

    if (v.waveform == 2 && v.squareOn) {
        if (--v.squareWait <= 0) {
            const int32_t lo = v.squareLower;
            const int32_t hi = v.squareUpper;
            const int32_t pos = v.squarePos;
            if (v.squareInit) {
                v.squareInit = 0;
                if (pos <= lo) {
                    v.squareSlidingIn = 1;
                    v.squareSign = 1;
                } else if (pos >= hi) {
                    v.squareSlidingIn = 1;
                    v.squareSign = -1;
                }
            }
            if (pos == lo || pos == hi) {
                if (v.squareSlidingIn) {
                    v.squareSlidingIn = 0;
                } else {
                    v.squareSign = -v.squareSign;
                }
            }
            v.squarePos = wrappingAdd(pos, v.squareSign);
            v.squareChanged = 1;
            v.squareWait = instrument != nullptr ? instrument->squareSpeed : 0;
        }
    }

    if (v.filterOn) {
        if (--v.filterWait <= 0) {
            const int32_t lo = v.filterLower;
            const int32_t hi = v.filterUpper;
            int32_t pos = v.filterPos;
            if (v.filterInit) {
                v.filterInit = 0;
                if (pos <= lo) {
                    v.filterSlidingIn = 1;
                    v.filterSign = 1;
                } else if (pos >= hi) {
                    v.filterSlidingIn = 1;
                    v.filterSign = -1;
                }
            }
            const int32_t moves = v.filterSpeed < 3 ? 5 - v.filterSpeed : 1;
            for (int32_t i = 0; i < moves; ++i) {
                if (pos == lo || pos == hi) {
                    if (v.filterSlidingIn) {
                        v.filterSlidingIn = 0;
                    } else {
                        v.filterSign = -v.filterSign;
                    }
                }
                pos = wrappingAdd(pos, v.filterSign);
            }
            v.filterPos = pos;
            v.waveChanged = 1;
            v.filterWait = std::max(v.filterSpeed - 3, 1);
        }
    }

    if (v.waveform == 2 || v.squareChanged) {
        // Widths past the middle fold back; anything a large set position
        // would push outside the 32 rows (or the row before them) is held.
        int32_t x = int32_t(uint32_t(v.squarePos) << (5 - v.waveLength));
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
        v.waveform = 2;
        v.squareChanged = 0;
    }

    if (v.waveform == 3) v.waveChanged = 1;

    if (v.waveChanged) {
        // Offsets are worked out as integers first so that the pointer only
        // ever names a sample inside the bank.
        const int32_t setDelta = (waveSetOf(v.filterPos) - kUnfilteredSet) * kWaveSetSize;
        switch (v.waveform) {
            case 0:
                v.waveSource = trianglePointer != nullptr
                                   ? trianglePointer + (setDelta + waveLengthOffsets[v.waveLength])
                                   : nullptr;
                break;
            case 1:
                v.waveSource = sawtoothPointer != nullptr
                                   ? sawtoothPointer + (setDelta + waveLengthOffsets[v.waveLength])
                                   : nullptr;
                break;
            case 2:
                v.waveSource = squarePointer;
                break;
            default:
                v.waveSource = noisePointer != nullptr
                                   ? noisePointer + (setDelta + int32_t(noiseSeed & 0x4FEu))
                                   : nullptr;
                noiseSeed = nextNoiseSeed(noiseSeed);
                break;
        }
    }

    const int32_t note = v.fixedNote ? v.instrumentNote : v.trackNote + v.transpose + v.instrumentNote - 1;
    int32_t period = periodTable[std::clamp(note, 0, 60)];
    if (!v.fixedNote) period = wrappingAdd(period, v.slideOffset);
    period = wrappingAdd(period, wrappingAdd(v.playlistSlideOffset, v.vibratoOffset));
    v.nextPeriod = std::clamp(period, 113, 3424);

    int32_t volume = ((v.envelopeVolume >> 8) * v.noteVolume) >> 6;
    volume = (volume * v.playlistVolume) >> 6;
    volume = (volume * v.channelVolume) >> 6;
    v.nextVolume = (volume * masterVolume) >> 6;
}

void Player::playlistCommand(int k, int32_t command, int32_t parameter) {
    Voice& v = voices[k];
    switch (command) {
        case 0:
            // Songs of revision 0 ignore it; a position past the 63 wave sets
            // is held at the last one.
            if (song.version > 0 && parameter != 0) {
                v.filterPos = std::clamp(parameter, 1, 63);
                v.waveChanged = 1;
            }
            break;
        case 1:
            v.playlistSlideSpeed = parameter;
            v.playlistSlideOn = 1;
            break;
        case 2:
            v.playlistSlideSpeed = -parameter;
            v.playlistSlideOn = 1;
            break;
        case 3:
            if (v.keepSquarePos) {
                v.keepSquarePos = 0;
            } else {
                v.squarePos = parameter >> (5 - v.waveLength);
            }
            break;
        case 4:
            if (song.version == 0 || parameter == 0) {
                v.squareOn = v.squareOn ? 0 : 1;
                v.squareInit = v.squareOn;
                v.squareSign = 1;
            } else {
                if ((parameter & 0x0F) != 0) {
                    v.squareOn = v.squareOn ? 0 : 1;
                    v.squareInit = v.squareOn;
                    v.squareSign = (parameter & 0x0F) == 0x0F ? -1 : 1;
                }
                if ((parameter & 0xF0) != 0) {
                    v.filterOn = v.filterOn ? 0 : 1;
                    v.filterInit = v.filterOn;
                    v.filterSign = (parameter & 0xF0) == 0xF0 ? -1 : 1;
                }
            }
            break;
        case 5:
            v.playlistRow = parameter;
            break;
        case 6:
            if (parameter >= 0 && parameter <= 64) {
                v.noteVolume = parameter;
            } else if (parameter >= 80 && parameter <= 144) {
                v.playlistVolume = parameter - 80;
            } else if (parameter >= 160 && parameter <= 224) {
                v.channelVolume = parameter - 160;
            }
            break;
        case 7:
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
        if (v.waveform == 3) {
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
