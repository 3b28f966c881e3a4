#include <algorithm>

#include "ahx/commands.h"
#include "ahx/fixed_point.h"
#include "ahx/player.h"

namespace ahx {

namespace {

bool isNoteDelay(const Step& step) {
    return TrackCommand(step.command) == TrackCommand::extended &&
           ExtendedCommand(highNibble(step.parameter)) == ExtendedCommand::noteDelay;
}

// A cut as long as the step or longer would never fire; a cut of 0 frames
// is no cut.
void armNoteCut(Voice& v, int32_t frames, int32_t tempo) {
    if (frames >= tempo) return;
    v.noteCutWait = frames;
    if (frames != 0) {
        v.noteCutOn = 1;
        v.hardCutReleaseOn = 0;
    }
}

// A delayed step is read twice: the first read only arms the delay and
// answers true (the rest of the step waits); the read when the delay has
// run out finds it armed, disarms it and plays the whole step.
bool holdForNoteDelay(Voice& v, int32_t frames, int32_t tempo) {
    if (v.noteDelayOn) {
        v.noteDelayOn = 0;
        return false;
    }
    if (frames >= tempo) return false;
    v.noteDelayWait = frames;
    if (frames == 0) return false;
    v.noteDelayOn = 1;
    return true;
}

void startInstrument(Voice& v, const Instrument& instrument) {
    v.playlistVolume = kFullVolume;
    v.slideTarget = 0;
    v.slideOffset = 0;
    v.slideSpeed = 0;
    v.envelopeVolume = 0;
    v.currentInstrument = &instrument;
    v.computeEnvelope();
    v.waveLength = std::clamp(instrument.waveLength, 0, 5);
    v.noteVolume = std::clamp(instrument.volume, 0, kFullVolume);

    v.vibratoPhase = 0;
    v.vibratoDelay = instrument.vibratoDelay;
    v.vibratoDepth = instrument.vibratoDepth;
    v.vibratoSpeed = instrument.vibratoSpeed;
    v.vibratoOffset = 0;

    v.hardCutReleaseOn = instrument.hardCutRelease;
    v.hardCutFrames = instrument.hardCutReleaseFrames;

    v.squareSlidingIn = 0;
    v.keepSquarePos = 0;
    v.squareOn = 0;
    v.squareWait = 0;
    const int32_t squareA = instrument.squareLowerLimit >> (5 - v.waveLength);
    const int32_t squareB = instrument.squareUpperLimit >> (5 - v.waveLength);
    v.squareLower = std::min(squareA, squareB);
    v.squareUpper = std::max(squareA, squareB);

    // Limits the modulation could not reach would let filterPos run off
    // the 63 wave sets, so both are held to 1..63.
    v.filterOn = 0;
    v.filterWait = 0;
    v.filterSlidingIn = 0;
    v.filterSpeed = instrument.filterSpeed;
    const int32_t filterA = std::clamp(instrument.filterLowerLimit, 1, 63);
    const int32_t filterB = std::clamp(instrument.filterUpperLimit, 1, 63);
    v.filterLower = std::min(filterA, filterB);
    v.filterUpper = std::max(filterA, filterB);
    v.filterPos = 32;

    v.playlistRow = 0;
    v.playlistWait = 0;
    v.playlistSpeed = instrument.playlistSpeed;
    v.currentPlaylist = &instrument.playlist;
}

void playNote(Voice& v, int32_t note) {
    if (note == 0) return;
    v.trackNote = note;
    v.periodChanged = 1;
}

// The note is only the portamento's target; the pitch slides to it frame by
// frame from where it is.
void aimPortamento(Voice& v, const Step& step) {
    if (step.parameter != 0) v.slideSpeed = step.parameter;
    if (step.note != 0) {
        const int32_t distance = periodOf(v.trackNote) - periodOf(step.note);
        // slideOffset may have wrapped after long slides; the comparison wraps too.
        if (wrappingAdd(v.slideOffset, distance) != 0) v.slideTarget = -distance;
    }
    v.slideOn = 1;
    v.slideToTarget = 1;
}

void playNoteOrAimPortamento(Voice& v, const Step& step) {
    switch (TrackCommand(step.command)) {
        case TrackCommand::tonePortamento:
        case TrackCommand::tonePortamentoVolumeSlide:
            aimPortamento(v, step);
            break;
        case TrackCommand::setSquarePosition:
            v.squarePos = step.parameter >> (5 - v.waveLength);
            v.squareChanged = 1;
            v.keepSquarePos = 1;
            playNote(v, step.note);
            break;
        default:
            playNote(v, step.note);
            break;
    }
}

void slidePeriod(Voice& v, int32_t speed) {
    v.slideSpeed = speed;
    v.slideOn = 1;
    v.slideToTarget = 0;
}

}  // namespace

void Player::readStep(int k) {
    Voice& v = voices[k];
    v.volumeSlideDown = 0;
    v.volumeSlideUp = 0;
    const Step& step = stepAt(positionAt(position).track[k], stepIndex);
    if (!runTimingCommand(v, step)) return;
    if (const Instrument* instrument = instrumentAt(step.instrument)) startInstrument(v, *instrument);
    // A period slide lasts for its step only.
    v.slideOn = 0;
    playNoteOrAimPortamento(v, step);
    runEffectCommand(v, step);
}

// The position, the tempo, the volume slide and the note's timing.
bool Player::runTimingCommand(Voice& v, const Step& step) {
    const int32_t parameter = step.parameter;
    const int32_t lo = lowNibble(parameter);

    // A delay armed by an earlier step that never ran out (a later channel
    // lowered the tempo) must not make this step wait for it, or the step
    // would be read again on every frame.
    if (!isNoteDelay(step)) v.noteDelayOn = 0;

    switch (TrackCommand(step.command)) {
        case TrackCommand::jumpHundreds:
            if (lo >= 1 && lo <= 9) jumpPosition = lo;
            break;
        case TrackCommand::tonePortamentoVolumeSlide:
        case TrackCommand::volumeSlide:
            v.volumeSlideDown = lo;
            v.volumeSlideUp = highNibble(parameter);
            break;
        case TrackCommand::positionJump:
            // Several in one row multiply; the wrapped result is caught when
            // the position is stored.
            jumpPosition = wrappingAdd(wrappingMul(jumpPosition, 100), decimalOf(parameter));
            breakPending = 1;
            break;
        case TrackCommand::positionBreak:
            jumpPosition = position + 1;
            jumpStep = decimalOf(parameter) < song.trackLength ? decimalOf(parameter) : 0;
            breakPending = 1;
            break;
        case TrackCommand::extended:
            switch (ExtendedCommand(highNibble(parameter))) {
                case ExtendedCommand::noteCut:
                    armNoteCut(v, lo, tempo);
                    break;
                case ExtendedCommand::noteDelay:
                    if (holdForNoteDelay(v, lo, tempo)) return false;
                    break;
                default:
                    break;
            }
            break;
        case TrackCommand::setTempo:
            tempo = parameter;
            break;
        default:
            break;
    }
    return true;
}

// Period slides, volumes and the fine adjustments.
void Player::runEffectCommand(Voice& v, const Step& step) {
    const int32_t parameter = step.parameter;
    const int32_t lo = lowNibble(parameter);
    switch (TrackCommand(step.command)) {
        case TrackCommand::slideUp:
            slidePeriod(v, -parameter);
            break;
        case TrackCommand::slideDown:
            slidePeriod(v, parameter);
            break;
        case TrackCommand::setVolume:
            if (parameter <= 64) {
                v.noteVolume = parameter;
            } else if (parameter >= 80 && parameter <= 144) {
                for (Voice& each : voices) each.channelVolume = parameter - 80;
            } else if (parameter >= 160 && parameter <= 224) {
                v.channelVolume = parameter - 160;
            }
            break;
        case TrackCommand::extended:
            switch (ExtendedCommand(highNibble(parameter))) {
                case ExtendedCommand::fineSlideUp:
                    v.slideOffset = -lo;
                    v.periodChanged = 1;
                    break;
                case ExtendedCommand::fineSlideDown:
                    v.slideOffset = lo;
                    v.periodChanged = 1;
                    break;
                case ExtendedCommand::setVibratoDepth:
                    v.vibratoDepth = lo;
                    break;
                case ExtendedCommand::fineVolumeUp:
                    v.noteVolume = std::min(v.noteVolume + lo, kFullVolume);
                    break;
                case ExtendedCommand::fineVolumeDown:
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
