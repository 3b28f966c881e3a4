#include "ahx/player.h"

#include <algorithm>
#include <new>

#include "ahx/fixed_point.h"

namespace ahx {

const int32_t periodTable[kHighestNote + 1] = {
    0,    3424, 3232, 3048, 2880, 2712, 2560, 2416, 2280, 2152, 2032, 1920, 1812, 1712, 1616, 1524,
    1440, 1356, 1280, 1208, 1140, 1076, 1016, 960,  906,  856,  808,  762,  720,  678,  640,  604,
    570,  538,  508,  480,  453,  428,  404,  381,  360,  339,  320,  302,  285,  269,  254,  240,
    226,  214,  202,  190,  180,  170,  160,  151,  143,  135,  127,  120,  113,
};

const int32_t vibratoTable[64] = {
    0,    24,   49,   74,   97,   120,  141,  161,  180,  197,  212,  224,  235,  244,  250,  253,
    255,  253,  250,  244,  235,  224,  212,  197,  180,  161,  141,  120,  97,   74,   49,   24,
    0,    -24,  -49,  -74,  -97,  -120, -141, -161, -180, -197, -212, -224, -235, -244, -250, -253,
    -255, -253, -250, -244, -235, -224, -212, -197, -180, -161, -141, -120, -97,  -74,  -49,  -24,
};

namespace {

// The envelope targets are held to the range every other volume factor
// keeps, so the 8.8 envelope never leaves 0..64 x 256 whatever the song says.
int32_t envelopeTarget(int32_t volume) {
    return envelopeFromVolume(std::clamp(volume, 0, kFullVolume));
}

// A phase of 0 frames takes one frame and lands on its target at once;
// this is also what keeps the step divisions away from 0.
int32_t phaseFrames(int32_t frames) {
    return std::max(frames, 1);
}

}  // namespace

Player::Player() {
    clearSong(song);
    for (Voice& voice : voices) voice.resetVoice();
}

Player::~Player() {
    delete ownedTables_;
}

void Player::bindWaveTables(const WaveTables* tables) {
    if (tables == nullptr) {
        // A second request for an own bank reuses the first one.
        if (ownedTables_ == nullptr) ownedTables_ = new (std::nothrow) WaveTables;
        tables = ownedTables_;
    }
    waveTables = tables;
    if (tables == nullptr) {
        // No bank could be made: the voices keep silent waveforms.
        trianglePointer = sawtoothPointer = noisePointer = nullptr;
        return;
    }
    const int8_t* unfiltered = tables->waveSet(kUnfilteredSet);
    trianglePointer = unfiltered + kTriangleWavesOffset;
    sawtoothPointer = unfiltered + kSawtoothWavesOffset;
    noisePointer = unfiltered + kNoiseWaveOffset;
}

void Player::resetPlayState() {
    stepWait = 0;
    breakPending = 0;
    jumpPosition = 0;
    jumpStep = 0;
    stepIndex = 0;
    for (Voice& voice : voices) voice.resetVoice();
}

int Player::loadSong(const uint8_t* data, int32_t size) {
    // The voices point into the song's instruments and playlists, which the
    // load is about to free; the position and tempo belong to the old song.
    // Until a subsong starts, ticks read the new song's first step at tempo
    // 0 and master volume 0: nothing is heard and nothing old is read.
    resetPlayState();
    newPosition = 0;
    masterVolume = 0;
    tempo = 0;
    position = 0;
    return ahx::loadSong(song, data, size);
}

int Player::startSubsong(int32_t n) {
    if (n < 0 || n > song.subsongCount || size_t(n) > song.subsongs.size()) return 0;
    storePosition(n == 0 ? 0 : song.subsongs[size_t(n) - 1]);
    resetPlayState();
    masterVolume = 64;
    tempo = 6;
    newPosition = 1;
    return 1;
}

void Player::tick() {
    if (stepWait <= 0) {
        if (newPosition) {
            const int32_t next = position + 1 == song.positionCount ? 0 : position + 1;
            const Position& current = positionAt(position);
            const Position& following = positionAt(next);
            for (int k = 0; k < kChannels; ++k) {
                voices[k].trackNumber = current.track[k];
                voices[k].transpose = current.transpose[k];
                voices[k].nextTrackNumber = following.track[k];
            }
            newPosition = 0;
        }
        for (int k = 0; k < kChannels; ++k) readStep(k);
        stepWait = tempo;
    }
    for (int k = 0; k < kChannels; ++k) advanceFrame(k);
    if (tempo > 0) {
        --stepWait;
        if (stepWait <= 0) {
            if (!breakPending) {
                ++stepIndex;
                if (stepIndex >= song.trackLength) {
                    jumpPosition = position + 1;
                    jumpStep = 0;
                    breakPending = 1;
                }
            }
            if (breakPending) {
                stepIndex = jumpStep;
                const int32_t target = jumpPosition;
                breakPending = 0;
                jumpStep = 0;
                jumpPosition = 0;
                storePosition(target);
                newPosition = 1;
            }
        }
    }
    for (int k = 0; k < kChannels; ++k) writeOutput(k);
}

void Player::storePosition(int32_t newValue) {
    if (newValue == song.positionCount) newValue = song.restartPosition;
    if (newValue < 0 || newValue >= song.positionCount) newValue = 0;
    position = newValue;
}

const Step& Player::stepAt(int32_t track, int32_t index) const {
    static const Step empty{};
    if (track < 0 || track > song.highestTrack || size_t(track) >= song.tracks.size()) return empty;
    const std::vector<Step>& steps = song.tracks[size_t(track)];
    if (index < 0 || index >= song.trackLength || size_t(index) >= steps.size()) return empty;
    return steps[size_t(index)];
}

const Position& Player::positionAt(int32_t index) const {
    static const Position empty{};
    if (index < 0 || size_t(index) >= song.positions.size()) return empty;
    return song.positions[size_t(index)];
}

const Instrument* Player::instrumentAt(int32_t number) const {
    if (number <= 0 || number > song.instrumentCount || size_t(number) >= song.instruments.size()) {
        return nullptr;
    }
    return &song.instruments[size_t(number)];
}

void Voice::resetVoice() {
    *this = Voice{};
    channelVolume = 64;
}

void Voice::computeEnvelope() {
    if (currentInstrument == nullptr) return;
    const Instrument& instrument = *currentInstrument;
    const int32_t attack = envelopeTarget(instrument.attackVolume);
    const int32_t decay = envelopeTarget(instrument.decayVolume);
    const int32_t release = envelopeTarget(instrument.releaseVolume);
    envelope.attackLeft = phaseFrames(instrument.attackFrames);
    envelope.attackStep = attack / envelope.attackLeft;
    envelope.decayLeft = phaseFrames(instrument.decayFrames);
    envelope.decayStep = (decay - attack) / envelope.decayLeft;
    envelope.sustainLeft = std::max(instrument.sustainFrames, 0);
    envelope.releaseLeft = phaseFrames(instrument.releaseFrames);
    envelope.releaseStep = (release - decay) / envelope.releaseLeft;
}

void Voice::advanceEnvelope() {
    if (currentInstrument == nullptr) return;
    const Instrument& instrument = *currentInstrument;
    EnvelopeState& e = envelope;
    if (e.attackLeft != 0) {
        envelopeVolume += e.attackStep;
        if (--e.attackLeft <= 0) envelopeVolume = envelopeTarget(instrument.attackVolume);
    } else if (e.decayLeft != 0) {
        envelopeVolume += e.decayStep;
        if (--e.decayLeft <= 0) envelopeVolume = envelopeTarget(instrument.decayVolume);
    } else if (e.sustainLeft != 0) {
        --e.sustainLeft;
    } else if (e.releaseLeft != 0) {
        envelopeVolume += e.releaseStep;
        if (--e.releaseLeft <= 0) envelopeVolume = envelopeTarget(instrument.releaseVolume);
    }
}

void Voice::releaseEnvelope(int32_t frames) {
    if (currentInstrument == nullptr) return;
    envelope.attackLeft = 0;
    envelope.decayLeft = 0;
    envelope.sustainLeft = 0;
    envelope.releaseLeft = phaseFrames(frames);
    envelope.releaseStep =
        -((envelopeVolume - envelopeTarget(currentInstrument->releaseVolume)) / envelope.releaseLeft);
}

}  // namespace ahx
