// The AHX replay engine: the loaded song, the position and tempo, and four
// voices whose volume, period and looped waveform the mixer plays.
#pragma once

#include <algorithm>
#include <cstdint>

#include "ahx/song.h"
#include "ahx/wave_tables.h"

namespace ahx {

inline constexpr int kOutWaveLength = 640;

inline constexpr int32_t kHighestNote = 60;
// Amiga periods of notes 0..60; entry 0 is never played.
extern const int32_t periodTable[kHighestNote + 1];
// Notes are 6-bit but the table ends at 60.
inline int32_t periodOf(int32_t note) {
    return periodTable[std::clamp(note, 0, kHighestNote)];
}
// The periods a voice plays, however far its slides and vibrato reach.
inline constexpr int32_t kLowestPeriod = 113;
inline constexpr int32_t kHighestPeriod = 3424;
// One sine period of amplitude 255, indexed by vibratoPhase.
extern const int32_t vibratoTable[64];

struct EnvelopeState {
    int32_t attackLeft = 0;
    int32_t attackStep = 0;
    int32_t decayLeft = 0;
    int32_t decayStep = 0;
    int32_t sustainLeft = 0;
    int32_t releaseLeft = 0;
    int32_t releaseStep = 0;
};

struct Voice {
    // What the mixer plays.
    int32_t outVolume;                   // 0..64
    int32_t outPeriod;                   // 113..3424, 0 until the first period is planted
    int8_t outWave[kOutWaveLength + 1];  // one loop, then a copy of sample 0

    int32_t trackNumber;
    int32_t transpose;
    int32_t nextTrackNumber;
    int32_t envelopeVolume;  // 8.8 fixed point
    EnvelopeState envelope;
    const Instrument* currentInstrument;
    int32_t instrumentNote;
    int32_t trackNote;
    int32_t vibratoOffset;
    int32_t noteVolume;
    int32_t playlistVolume;
    int32_t channelVolume;
    int32_t waveChanged;
    int32_t waveform;  // a Waveform: triangle, sawtooth, square or noise
    int32_t squareChanged;
    int32_t periodChanged;
    int32_t keepSquarePos;
    int32_t fixedNote;
    int32_t volumeSlideUp;
    int32_t volumeSlideDown;
    int32_t hardCutFrames;
    int32_t hardCutReleaseOn;
    int32_t hardCutReleaseLength;
    int32_t slideSpeed;
    int32_t slideOffset;
    int32_t slideTarget;
    int32_t slideOn;
    int32_t slideToTarget;
    int32_t playlistSlideSpeed;
    int32_t playlistSlideOffset;
    int32_t playlistSlideOn;
    int32_t vibratoDelay;
    int32_t vibratoPhase;
    int32_t vibratoDepth;
    int32_t vibratoSpeed;
    int32_t squareOn;
    int32_t squareInit;
    int32_t squareWait;
    int32_t squareLower;
    int32_t squareUpper;
    int32_t squarePos;
    int32_t squareSign;
    int32_t squareSlidingIn;
    int32_t filterOn;
    int32_t filterInit;
    int32_t filterWait;
    int32_t filterLower;
    int32_t filterUpper;
    int32_t filterPos;  // 1..63 selects wave set filterPos - 1; 32 is unfiltered
    int32_t filterSign;
    int32_t filterSpeed;
    int32_t filterSlidingIn;
    int32_t playlistRow;
    int32_t playlistSpeed;
    int32_t playlistWait;
    int32_t waveLength;  // 0..5
    const std::vector<PlaylistEntry>* currentPlaylist;
    int32_t noteDelayWait;
    int32_t noteDelayOn;
    int32_t noteCutWait;
    int32_t noteCutOn;
    const int8_t* waveSource;
    int32_t nextPeriod;
    int32_t nextVolume;
    int8_t squareBuffer[128];

    // Every field, both sample buffers included, to zero; then channelVolume 64.
    void resetVoice();
    // Fills `envelope` from currentInstrument.
    void computeEnvelope();
    // One frame of the envelope: the first phase whose counter is not 0.
    void advanceEnvelope();
    // A hard cut with release: only a release of `frames` frames from the
    // current volume toward the instrument's release volume remains.
    void releaseEnvelope(int32_t frames);
};

class Player {
public:
    Player();
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Uses `tables`, or generates and owns a bank of its own when given null.
    void bindWaveTables(const WaveTables* tables);
    // Replaces the song with the one in data[0..size); answers 1 when it
    // loaded, 0 when it was rejected (the song is then empty). Either way every
    // voice is left silent and refers to nothing of the previous song, and
    // the player stands as a new one does until startSubsong. This is the way
    // to change `song`: a voice still points into the song it last played.
    int loadSong(const uint8_t* data, int32_t size);
    // 0 is the main song, k (1..subsongCount) starts at subsongs[k - 1].
    // Answers 0 and changes nothing when n is out of range.
    int startSubsong(int32_t n);
    // One replay frame.
    void tick();

    void readStep(int k);
    void advanceFrame(int k);
    void playlistCommand(int k, int32_t command, int32_t parameter);
    void writeOutput(int k);

    Song song;
    const WaveTables* waveTables = nullptr;
    Voice voices[kChannels];
    int32_t stepWait = 0;
    int32_t newPosition = 0;
    int32_t breakPending = 0;
    int32_t masterVolume = 0;
    int32_t tempo = 0;
    int32_t position = 0;
    int32_t jumpPosition = 0;
    int32_t stepIndex = 0;
    int32_t jumpStep = 0;
    // Waveform sources by waveform number: triangle, sawtooth, square, noise.
    const int8_t* trianglePointer = nullptr;
    const int8_t* sawtoothPointer = nullptr;
    const int8_t* squarePointer = nullptr;
    const int8_t* noisePointer = nullptr;
    // Never reset: the noise offsets run on across tracks and subsongs.
    uint32_t noiseSeed = 0;

private:
    // Song indices are checked here, so a song whose positions, track numbers
    // or instrument numbers point outside it still plays without reading past
    // its buffers: a missing step reads as empty, a missing instrument as none.
    const Step& stepAt(int32_t track, int32_t index) const;
    const Position& positionAt(int32_t index) const;
    const Instrument* instrumentAt(int32_t number) const;
    // The one way `position` changes: the end of the list continues at the
    // restart position, and anything still outside the list starts over at 0.
    void storePosition(int32_t newValue);

    // The steps of readStep that reach beyond the channel's voice. The
    // first answers false when a note delay holds the rest of the step back.
    bool runTimingCommand(Voice& v, const Step& step);
    void runEffectCommand(Voice& v, const Step& step);
    // The steps of advanceFrame that reach beyond the channel's voice.
    void armHardCut(Voice& v);
    void advancePlaylist(int k);
    void buildSquare(Voice& v);
    void pickWaveSource(Voice& v);
    // What every new start of play clears: the step timing, pending breaks
    // and jumps, and the four voices.
    void resetPlayState();

    WaveTables* ownedTables_ = nullptr;
};

}  // namespace ahx
