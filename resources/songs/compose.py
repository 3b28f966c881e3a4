#!/usr/bin/python3
"""Writes the ten tunes' text sources (trackNN.ahxt) from compact descriptions.

Each tune is described by its key, tempo, chord progressions per section and a
few style choices (drum groove, bass figure, arpeggio rhythm, melody seed).
From that the composer builds four channels -- drums, bass, chord arpeggios
and a lead -- bar by bar, with 16 steps per bar and one track per bar and
channel. Tracks that repeat, or that repeat a semitone shift away, are stored
once and reached through the position list's transposes.

Usage: compose.py [OUTPUT_DIR]   (default: the directory of this script)
Then `ahx compile trackNN.ahxt -o trackNN.ahx` for each tune. Everything is
deterministic: the same descriptions always give the same sources.

It also writes tracks.txt, the disk's one table of tracks: resource id, song
file and title of each, in disk order. The build makes the program's track
list and its resource script from it.
"""

import os
import random
import sys

STEPS = 16  # steps per bar = per track
NOTE_NAMES = ["C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"]
# Amiga periods of notes 0..60; the portamento speed is worked out from them.
PERIODS = [0, 3424, 3232, 3048, 2880, 2712, 2560, 2416, 2280, 2152, 2032, 1920, 1812, 1712, 1616, 1524,
           1440, 1356, 1280, 1208, 1140, 1076, 1016, 960, 906, 856, 808, 762, 720, 678, 640, 604, 570, 538,
           508, 480, 453, 428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226, 214, 202, 190, 180,
           170, 160, 151, 143, 135, 127, 120, 113]

PITCH_CLASSES = {"C": 0, "C#": 1, "Db": 1, "D": 2, "D#": 3, "Eb": 3, "E": 4, "F": 5, "F#": 6, "Gb": 6,
                 "G": 7, "G#": 8, "Ab": 8, "A": 9, "A#": 10, "Bb": 10, "B": 11}
# Chord qualities: intervals above the root, as the arpeggio playlists play them.
QUALITIES = {"": (0, 4, 7), "m": (0, 3, 7), "7": (0, 4, 7, 10), "m7": (0, 3, 7, 10), "maj7": (0, 4, 7, 11),
             "sus4": (0, 5, 7), "sus2": (0, 2, 7), "add9": (0, 4, 7, 14), "m9": (0, 3, 7, 14)}
SCALES = {"major": (0, 2, 4, 5, 7, 9, 11), "minor": (0, 2, 3, 5, 7, 8, 10), "dorian": (0, 2, 3, 5, 7, 9, 10),
          "mixolydian": (0, 2, 4, 5, 7, 9, 10), "harmonic": (0, 2, 3, 5, 7, 8, 11)}


def parse_chord(name):
    """'F#m7' -> (6, 'm7')."""
    root = name[:2] if len(name) > 1 and name[1] in "#b" else name[:1]
    return PITCH_CLASSES[root], name[len(root):]


def track_note(midi, wave_length):
    """The step note that sounds at MIDI pitch `midi` on an instrument of this wave length."""
    n = midi - 59 + 12 * wave_length
    if not 1 <= n <= 60:
        raise ValueError("MIDI %d is out of range for wave length %d" % (midi, wave_length))
    return n


def note_name(n):
    return "---" if n == 0 else NOTE_NAMES[(n - 1) % 12] + str((n - 1) // 12 + 1)


# --- instruments -------------------------------------------------------------

class Instrument:
    def __init__(self, name, volume, wave_length, attack=(1, 64), decay=(0, 64), sustain=0, release=(0, 64),
                 filter=(0, 0, 0), square=(0, 0, 0), vibrato=(0, 0, 0), hard_cut=(0, False), speed=1, rows=()):
        self.name, self.volume, self.wave_length = name, volume, wave_length
        self.attack, self.decay, self.sustain, self.release = attack, decay, sustain, release
        self.filter, self.square, self.vibrato, self.hard_cut = filter, square, vibrato, hard_cut
        self.speed, self.rows = speed, list(rows)

    def text(self, number):
        lines = ['instrument %d "%s"' % (number, self.name),
                 "    volume %d" % self.volume,
                 "    wave-length %d" % self.wave_length,
                 "    attack %d %d" % self.attack,
                 "    decay %d %d" % self.decay,
                 "    sustain %d" % self.sustain,
                 "    release %d %d" % self.release,
                 "    filter %d %d %d" % self.filter,
                 "    square %d %d %d" % self.square,
                 "    vibrato %d %d %d" % self.vibrato,
                 "    hard-cut %d%s" % (self.hard_cut[0], " release" if self.hard_cut[1] else ""),
                 "    playlist %d" % self.speed]
        for i, (wave, note, fx1, fx2) in enumerate(self.rows):
            lines.append("        %3d %-3s %-4s %s %s" % (i, wave, note, fx1, fx2))
        return "\n".join(lines)


def kick(volume, drop=(40, 33, 27, 23, 20, 18)):
    rows = [("noi", "=G-4", "000", "000")]
    rows += [("tri" if i == 0 else "---", "=" + note_name(n), "000", "000") for i, n in enumerate(drop)]
    return Instrument("kick", volume, 4, attack=(1, 64), decay=(5, 44), sustain=0, release=(8, 0),
                      hard_cut=(2, True), rows=rows)


def snare(volume, body=34, noise="C-5"):
    rows = [("tri", "=" + note_name(body), "000", "000"), ("noi", "=" + noise, "000", "000"),
            ("---", "=A#4", "000", "000")]
    return Instrument("snare", volume, 3, attack=(1, 60), decay=(8, 30), sustain=0, release=(10, 0),
                      hard_cut=(2, True), rows=rows)


def hihat(volume, open_hat=False):
    # Playlist command 0 moves the noise onto a high-pass filter set.
    rows = [("noi", "=C-5", "02C", "000")]
    if open_hat:
        return Instrument("open hat", volume, 3, attack=(1, 48), decay=(6, 26), sustain=4, release=(12, 0),
                          hard_cut=(1, True), rows=rows)
    return Instrument("hihat", volume, 3, attack=(1, 44), decay=(3, 12), sustain=0, release=(4, 0),
                      hard_cut=(1, False), rows=rows)


def bass(volume, wave="sqr", filter=(8, 30, 9), square=(8, 40, 2), decay=(12, 46)):
    # Square: pulse-width sweep from the middle; both modulations start at the first row.
    first = ("sqr", "+0", "320", "411") if wave == "sqr" else (wave, "+0", "410", "000")
    return Instrument("bass", volume, 5, attack=(1, 64), decay=decay, sustain=40, release=(30, 20),
                      filter=filter, square=square, hard_cut=(1, True), rows=[first])


def lead(volume, vibrato=(14, 3, 6), square=(8, 32, 3), wave="sqr", decay=(14, 46), release=(40, 24)):
    rows = [("sqr", "+0", "310", "401")] if wave == "sqr" else [(wave, "+0", "000", "000")]
    return Instrument("lead", volume, 3, attack=(2, 60), decay=decay, sustain=60, release=release,
                      square=square, vibrato=vibrato, rows=rows)


def arpeggio(quality, volume, wave="saw", speed=2, filter=(10, 31, 7), octave_up=False):
    intervals = QUALITIES[quality]
    if octave_up:
        intervals = intervals + (12,)
    # Row 0 starts the filter sweep; the last row jumps back to row 1, so the
    # chord tones cycle for as long as the note lasts.
    rows = [(wave, "+0", "410" if filter[2] else "000", "320" if wave == "sqr" else "000")]
    rows += [("---", "+%d" % i, "000", "000") for i in intervals[1:]]
    rows.append(("---", "+0", "501", "000"))
    return Instrument("chord " + (quality or "maj"), volume, 3, attack=(2, 56), decay=(20, 44), sustain=120,
                      release=(60, 16), filter=filter, speed=speed, rows=rows)


# --- patterns ----------------------------------------------------------------

DRUMS = {
    # k kick, s snare, h hihat, o open hat, . nothing
    "four":      "k.h.s.h.k.h.s.ho",
    "backbeat":  "k.h.s.hkk.h.s.hh",
    "break":     "k.h.s.hk.kh.s.h.",
    "halftime":  "k.h.h.k.s.h.hkh.",
    "shuffle":   "k.hhs.hkk.hhs.ho",
    "disco":     "khokshokkhokshoh",
    "sparse":    "k.......s.......",
    "hats":      "h.h.h.h.h.h.h.ho",
}
FILLS = {
    "four":     "k.h.s.h.k.s.ssss",
    "backbeat": "k.h.s.hkk.s.s.ss",
    "break":    "k.h.s.hk.ks.ssss",
    "halftime": "k.h.h.k.s.h.s.ss",
    "shuffle":  "k.hhs.hkk.s.ssss",
    "disco":    "khokshokk.s.ssss",
    "sparse":   "k.......s...s.ss",
    "hats":     "h.h.h.h.h.h.s.ss",
}
# Bass figures: (step, interval above the chord root, length in steps).
BASS = {
    "eighths":  [(0, 0, 2), (2, 0, 2), (4, 12, 2), (6, 0, 2), (8, 0, 2), (10, 0, 2), (12, 12, 2), (14, 7, 2)],
    "pulse":    [(0, 0, 3), (3, 0, 3), (6, 12, 2), (8, 0, 3), (11, 7, 3), (14, 12, 2)],
    "walk":     [(0, 0, 4), (4, 7, 4), (8, 12, 4), (12, 7, 4)],
    "long":     [(0, 0, 6), (6, 0, 2), (8, 7, 6), (14, 12, 2)],
    "octaves":  [(0, 0, 2), (2, 12, 2), (4, 0, 2), (6, 12, 2), (8, 0, 2), (10, 12, 2), (12, 0, 2), (14, 12, 2)],
    "drive":    [(i, 0, 1) for i in range(0, 16)],
    "sync":     [(0, 0, 3), (3, 12, 1), (4, 0, 2), (6, 7, 2), (10, 0, 2), (12, 12, 2), (14, 7, 2)],
}
# Arpeggio re-strikes within a bar.
ARP = {"hold": [0], "half": [0, 8], "pump": [0, 4, 8, 12], "push": [0, 6, 10], "off": [2, 6, 10, 14]}
# Melody rhythms: onsets and lengths in steps, one bar each.
RHYTHMS = [
    [(0, 4), (4, 2), (6, 2), (8, 6), (14, 2)],
    [(0, 2), (2, 2), (4, 4), (8, 2), (10, 2), (12, 4)],
    [(0, 6), (6, 2), (8, 4), (12, 4)],
    [(2, 2), (4, 2), (6, 4), (10, 2), (12, 4)],
    [(0, 3), (3, 3), (6, 2), (8, 8)],
    [(0, 2), (2, 4), (6, 2), (8, 2), (10, 6)],
    [(0, 8), (8, 4), (12, 4)],
    [(0, 4), (4, 4), (8, 4), (12, 2), (14, 2)],
]
ENDINGS = [[(0, 4), (4, 12)], [(0, 2), (2, 2), (4, 12)], [(0, 16)], [(0, 6), (6, 10)]]


class Step:
    __slots__ = ("note", "instrument", "command", "parameter")

    def __init__(self, note=0, instrument=0, command=0, parameter=0):
        self.note, self.instrument, self.command, self.parameter = note, instrument, command, parameter

    def key(self):
        return (self.note, self.instrument, self.command, self.parameter)


def empty_bar():
    return [Step() for _ in range(STEPS)]


# --- the composer -------------------------------------------------------------

class Tune:
    """One tune: description in, text source out."""

    def __init__(self, title, key, scale, tempo, sections, seed, drums, bass_figure, arp_rhythm, restart_section=1,
                 omit_track0=False, swing=0, lead_range=(64, 81), bass_octave=36, arp_octave=57, lead_vibrato=(14, 3, 6),
                 lead_wave="sqr", bass_wave="sqr", arp_wave="saw", arp_speed=2, glide=0.25, volumes=(58, 44, 44, 48),
                 arp_octave_up=False, bass_filter=(8, 30, 9)):
        self.title, self.tempo, self.swing, self.seed = title, tempo, swing, seed
        self.key = key
        self.key_pc = PITCH_CLASSES[key]
        self.scale = SCALES[scale]
        self.sections = sections
        self.drums, self.bass_figure, self.arp_rhythm = drums, bass_figure, arp_rhythm
        self.restart_section, self.omit_track0 = restart_section, omit_track0
        self.lead_range, self.bass_octave, self.arp_octave = lead_range, bass_octave, arp_octave
        self.glide = glide
        self.rng = random.Random(seed)
        drum_vol, bass_vol, arp_vol, lead_vol = volumes

        self.instruments = [kick(drum_vol), snare(drum_vol - 4), hihat(drum_vol - 18), hihat(drum_vol - 20, True),
                            bass(bass_vol, bass_wave, filter=bass_filter),
                            lead(lead_vol, vibrato=lead_vibrato, wave=lead_wave)]
        self.drum_numbers = {"k": 1, "s": 2, "h": 3, "o": 4}
        self.bass_number, self.lead_number = 5, 6
        self.arp_numbers = {}
        qualities = []
        for section in sections:
            for chord in section["chords"]:
                q = parse_chord(chord)[1]
                if q not in qualities:
                    qualities.append(q)
        for q in qualities:
            self.instruments.append(arpeggio(q, arp_vol, arp_wave, arp_speed, octave_up=arp_octave_up))
            self.arp_numbers[q] = len(self.instruments)

    # Each channel's bars, as lists of Step.
    def drum_bar(self, groove, fill):
        pattern = (FILLS if fill else DRUMS)[groove]
        bar = empty_bar()
        for i, c in enumerate(pattern):
            if c != ".":
                bar[i].note = 25
                bar[i].instrument = self.drum_numbers[c]
        self.tempo_commands(bar)
        return bar

    def tempo_commands(self, bar):
        # Every drum bar carries the tempo, so that playing from the restart
        # position finds the same speed. A swing alternates long and short steps.
        if self.swing:
            for i in range(STEPS):
                bar[i].command, bar[i].parameter = 0xF, self.tempo + (self.swing if i % 2 == 0 else -self.swing)
        else:
            bar[0].command, bar[0].parameter = 0xF, self.tempo

    def chord_root(self, chord, octave_base):
        pc, quality = parse_chord(chord)
        midi = octave_base + (pc - octave_base) % 12
        return midi, quality

    def bass_bar(self, chord, figure):
        root, _ = self.chord_root(chord, self.bass_octave)
        bar = empty_bar()
        for start, interval, _length in BASS[figure]:
            bar[start].note = track_note(root + interval, 5)
            bar[start].instrument = self.bass_number
        return bar

    def arp_bar(self, chord, rhythm):
        root, quality = self.chord_root(chord, self.arp_octave)
        bar = empty_bar()
        for start in ARP[rhythm]:
            bar[start].note = track_note(root, 3)
            bar[start].instrument = self.arp_numbers[quality]
        return bar

    def scale_notes(self, chord):
        """The key's scale, bent to the chord: a chord tone outside the scale
        replaces the scale notes a semitone from it (B# over G# in C# minor)."""
        pcs = {(self.key_pc + d) % 12 for d in self.scale}
        root, quality = parse_chord(chord)
        for interval in QUALITIES[quality]:
            tone = (root + interval) % 12
            if tone not in pcs:
                pcs -= {(tone + 1) % 12, (tone - 1) % 12}
                pcs.add(tone)
        lo, hi = self.lead_range
        return [m for m in range(lo - 12, hi + 13) if m % 12 in pcs]

    def chord_tones(self, chord):
        pc, quality = parse_chord(chord)
        pcs = {(pc + i) % 12 for i in QUALITIES[quality]}
        lo, hi = self.lead_range
        return [m for m in range(lo, hi + 1) if m % 12 in pcs]

    def make_motif(self, bars):
        """A motif: per bar a rhythm and, per note, a move in scale steps."""
        motif = []
        for _ in range(bars):
            rhythm = self.rng.choice(RHYTHMS)
            moves = [self.rng.choice([-2, -1, -1, 1, 1, 2, 2, -3, 3, 0]) for _ in rhythm]
            motif.append((rhythm, moves))
        return motif

    def realise(self, motif_bar, chord, previous, ending=False):
        """Turns one bar of a motif into notes over `chord`, starting near `previous`."""
        rhythm, moves = motif_bar
        if ending:
            rhythm = self.rng.choice(ENDINGS)
            moves = [self.rng.choice([-1, 1, -2]) for _ in rhythm]
        scale = self.scale_notes(chord)
        tones = self.chord_tones(chord)
        lo, hi = self.lead_range
        notes = []
        current = previous
        repeats = 0
        for i, ((start, length), move) in enumerate(zip(rhythm, moves)):
            idx = min(range(len(scale)), key=lambda j: abs(scale[j] - current))
            # The line turns back rather than jumping an octave at the edges.
            if not lo <= scale[max(0, min(len(scale) - 1, idx + move))] <= hi:
                move = -move
            pitch = scale[max(0, min(len(scale) - 1, idx + move))]
            if start % 8 == 0 or i == len(rhythm) - 1 or length >= 6:
                # Strong beats and long notes land on the chord tone nearest the line.
                candidates = sorted(tones, key=lambda m: (abs(m - pitch), m))
                pitch = candidates[0]
                if pitch == current and len(candidates) > 1 and (repeats or move):
                    pitch = candidates[1]
            if pitch == current:
                repeats += 1
                if repeats > 1:
                    step = -1 if current > (lo + hi) // 2 else 1
                    pitch = scale[max(0, min(len(scale) - 1, idx + step))]
                    repeats = 0
            else:
                repeats = 0
            notes.append((start, length, pitch))
            current = pitch
        return notes, current

    def lead_bar(self, notes, previous_pitch):
        bar = empty_bar()
        last = previous_pitch
        for start, length, pitch in notes:
            step = bar[start]
            step.note = track_note(pitch, 3)
            glide = (last is not None and start > 0 and 1 <= abs(pitch - last) <= 5 and
                     self.rng.random() < self.glide)
            if glide:
                # Tone portamento from the sounding note; the slide must be
                # repeated on every step it should go on.
                delta = abs(PERIODS[track_note(last, 3)] - PERIODS[step.note])
                speed = max(1, min(255, -(-delta // self.tempo)))
                step.command, step.parameter = 3, speed
                for s in range(start + 1, min(STEPS, start + length)):
                    bar[s].command = 3
            else:
                step.instrument = self.lead_number
            last = pitch
        return bar, last

    def compose(self):
        """Answers the list of bars, each four channel bars."""
        bars = []
        section_starts = []
        motifs = {}
        realised = {}
        previous = (self.lead_range[0] + self.lead_range[1]) // 2
        for section in self.sections:
            section_starts.append(len(bars))
            chords = section["chords"] * section.get("repeat", 1)
            groove = section.get("drums", self.drums)
            figure = section.get("bass", self.bass_figure)
            rhythm = section.get("arp", self.arp_rhythm)
            melody = section.get("melody")
            self.key_pc = PITCH_CLASSES[section.get("key", self.key)]
            phrase = section.get("phrase", 4)
            if melody and melody not in motifs:
                motifs[melody] = self.make_motif(phrase)
            for i, chord in enumerate(chords):
                fill = (i + 1) % phrase == 0 and section.get("fills", True)
                drums = self.drum_bar(groove, fill) if groove else self.silent_drum_bar()
                bass_bar = self.bass_bar(chord, figure) if figure else empty_bar()
                arp_bar = self.arp_bar(chord, rhythm) if rhythm else empty_bar()
                if melody:
                    # A melody comes back note for note wherever its bar and
                    # chord come back: that repetition is what makes a tune.
                    ending = (i + 1) % (phrase * 2) == 0 or i == len(chords) - 1
                    key = (melody, self.key_pc, i % (phrase * 2), chord, ending)
                    if key not in realised:
                        notes, end_pitch = self.realise(motifs[melody][i % phrase], chord, previous, ending)
                        bar, _ = self.lead_bar(notes, previous if i % phrase else None)
                        realised[key] = (bar, end_pitch)
                    lead_bar, previous = realised[key]
                else:
                    lead_bar = empty_bar()
                bars.append([drums, bass_bar, arp_bar, lead_bar])
        return bars, section_starts

    def silent_drum_bar(self):
        bar = empty_bar()
        self.tempo_commands(bar)
        return bar

    def text(self):
        bars, section_starts = self.compose()
        tracks = []  # lists of Step, track number = index
        if self.omit_track0:
            tracks.append(empty_bar())
        positions = []
        for bar in bars:
            entry = []
            for channel, steps in enumerate(bar):
                entry.append(self.store(tracks, steps, transposable=channel in (1, 2)))
            positions.append(entry)
        lines = ["# %s -- written by compose.py; edit the description there, not this file." % self.title,
                 'title "%s"' % self.title,
                 "revision 1",
                 "speed-multiplier 1",
                 "restart %d" % section_starts[self.restart_section],
                 "track-length %d" % STEPS,
                 "track-0 %s" % ("omitted" if self.omit_track0 else "stored"),
                 "",
                 "positions"]
        for i, entry in enumerate(positions):
            lines.append("    %4d" % i + "".join("  %3d %+4d" % pair for pair in entry))
        for number, steps in enumerate(tracks):
            lines.append("")
            if all(s.key() == (0, 0, 0, 0) for s in steps):
                lines.append("track %d empty" % number)
                continue
            lines.append("track %d" % number)
            for i, s in enumerate(steps):
                lines.append("    %3d %s %s %X%02X" % (i, note_name(s.note), "%02d" % s.instrument if s.instrument else "--",
                                                       s.command, s.parameter))
        for number, instrument in enumerate(self.instruments, 1):
            lines.append("")
            lines.append(instrument.text(number))
        return "\n".join(lines) + "\n"

    @staticmethod
    def store(tracks, steps, transposable):
        """Finds or adds the track; answers (number, transpose)."""
        keys = [s.key() for s in steps]
        for number, existing in enumerate(tracks):
            other = [s.key() for s in existing]
            if other == keys:
                return number, 0
            if not transposable:
                continue
            shape = all((a[0] == 0) == (b[0] == 0) and a[1:] == b[1:] for a, b in zip(keys, other))
            if not shape:
                continue
            diffs = {a[0] - b[0] for a, b in zip(keys, other) if a[0]}
            if len(diffs) == 1:
                d = diffs.pop()
                if -24 <= d <= 24:
                    return number, d
        tracks.append(steps)
        return len(tracks) - 1, 0


def section(chords, **style):
    return dict(chords=chords, **style)


TUNES = [
    Tune("Harbour Lights", "A", "minor", 6, seed=11, drums="backbeat", bass_figure="eighths", arp_rhythm="hold",
         omit_track0=True, sections=[
             section(["Am", "F", "C", "G"], drums=None, melody=None, arp="hold"),
             section(["Am", "F", "C", "G"], melody="a", repeat=2),
             section(["Dm", "Am", "F", "E"], melody="b", bass="pulse", repeat=2),
             section(["Am", "F", "C", "G"], melody="a", repeat=2),
             section(["F", "G", "Em", "Am"], melody="c", drums="halftime", bass="long"),
             section(["Am", "F", "C", "G"], melody="a", drums="four"),
         ]),
    Tune("Copper Sunrise", "D", "major", 5, seed=23, drums="four", bass_figure="octaves", arp_rhythm="pump",
         volumes=(58, 40, 42, 48), arp_wave="sqr", lead_range=(62, 81), sections=[
             section(["D", "A", "Bm", "G"], melody=None, drums="hats"),
             section(["D", "A", "Bm", "G"], melody="a", repeat=2),
             section(["Em7", "A7", "D", "Bm"], melody="b", bass="walk", repeat=2),
             section(["D", "A", "Bm", "G"], melody="a", repeat=2),
             section(["G", "A", "F#m", "Bm", "Em7", "A7", "D", "D"], melody="c", drums="disco"),
             section(["D", "A", "Bm", "G"], melody="a"),
         ]),
    Tune("Glass Orchard", "E", "dorian", 7, seed=5, drums="halftime", bass_figure="long", arp_rhythm="half",
         omit_track0=True, lead_vibrato=(20, 2, 5), glide=0.35, arp_speed=3, volumes=(54, 44, 44, 46), sections=[
             section(["Em9", "A", "Em9", "A"], drums="sparse", melody=None),
             section(["Em9", "A", "Em9", "A"], melody="a", repeat=2),
             section(["Cmaj7", "D", "Bm7", "Em9"], melody="b", bass="walk", repeat=2),
             section(["Em9", "A", "Em9", "A"], melody="a"),
             section(["Cmaj7", "Bm7", "Am7", "Bm7"], melody="c", drums="backbeat", bass="pulse"),
             section(["Em9", "A", "Em9", "A"], melody="a"),
         ]),
    Tune("Tin Comet", "G", "major", 4, seed=41, drums="break", bass_figure="drive", arp_rhythm="push",
         arp_speed=1, glide=0.2, lead_range=(62, 83), volumes=(56, 38, 42, 48), sections=[
             section(["G", "Em", "C", "D"], melody=None),
             section(["G", "Em", "C", "D"], melody="a", repeat=2),
             section(["C", "D", "Bm", "Em", "Am7", "D7", "G", "G"], melody="b", bass="octaves", repeat=2),
             section(["G", "Em", "C", "D"], melody="a", repeat=2),
             section(["Em", "C", "G", "D"], melody="c", drums="four", bass="sync", repeat=2),
             section(["G", "Em", "C", "D"], melody="a", repeat=2),
         ]),
    Tune("Velvet Static", "F", "minor", 8, seed=77, drums="halftime", bass_figure="sync", arp_rhythm="hold",
         omit_track0=True, lead_vibrato=(10, 4, 4), glide=0.4, arp_speed=3, lead_wave="saw",
         volumes=(56, 44, 46, 52), bass_filter=(6, 28, 12), sections=[
             section(["Fm", "Db", "Eb", "Cm"], drums="sparse", melody=None),
             section(["Fm", "Db", "Eb", "Cm"], melody="a", repeat=2),
             section(["Bbm", "Fm", "Db", "C"], melody="b", bass="long", repeat=2),
             section(["Fm", "Db", "Eb", "Cm"], melody="a"),
             section(["Db", "Eb", "C", "Fm"], melody="c", drums="backbeat"),
         ]),
    Tune("Paper Lanterns", "Bb", "major", 6, seed=8, drums="shuffle", bass_figure="walk", arp_rhythm="off",
         swing=1, lead_vibrato=(12, 3, 7), volumes=(54, 42, 42, 48), arp_wave="tri", sections=[
             section(["Cm7", "F7", "Bbmaj7", "Gm7"], drums="hats", melody=None),
             section(["Cm7", "F7", "Bbmaj7", "Gm7"], melody="a", repeat=2),
             section(["Ebmaj7", "Dm7", "Cm7", "F7"], melody="b", repeat=2),
             section(["Cm7", "F7", "Bbmaj7", "Gm7"], melody="a", repeat=2),
             section(["Gm7", "Cm7", "F7", "Bbmaj7"], melody="c", arp="pump"),
             section(["Cm7", "F7", "Bbmaj7", "Gm7"], melody="a"),
         ]),
    Tune("Night Ferry", "C#", "minor", 6, seed=19, drums="four", bass_figure="drive", arp_rhythm="pump",
         omit_track0=True, lead_range=(61, 80), volumes=(58, 38, 42, 48), sections=[
             section(["C#m", "B", "A", "G#"], melody=None, arp="hold"),
             section(["C#m", "B", "A", "G#"], melody="a", repeat=2),
             section(["F#m", "C#m", "D", "G#7"], melody="b", bass="pulse", repeat=2),
             section(["C#m", "B", "A", "G#"], melody="a", repeat=2),
             section(["A", "B", "G#", "C#m"], melody="c", drums="break"),
             section(["C#m", "B", "A", "G#"], melody="a"),
         ]),
    Tune("Kite Festival", "C", "major", 5, seed=3, drums="backbeat", bass_figure="pulse", arp_rhythm="push",
         arp_wave="sqr", arp_speed=1, volumes=(56, 42, 40, 48), lead_range=(64, 83), sections=[
             section(["C", "Am", "F", "G"], melody=None),
             section(["C", "Am", "F", "G"], melody="a", repeat=2),
             section(["F", "G", "Em", "Am", "Dm7", "G", "C", "C"], melody="b", bass="walk"),
             section(["C", "Am", "F", "G"], melody="a", repeat=2),
             section(["Am", "F", "C", "G"], melody="c", drums="disco", bass="octaves", repeat=2),
             section(["C", "Am", "F", "G"], melody="a"),
         ]),
    Tune("Rust and Rain", "G", "minor", 7, seed=61, drums="backbeat", bass_figure="long", arp_rhythm="half",
         omit_track0=True, lead_vibrato=(16, 3, 5), glide=0.3, arp_speed=2, volumes=(56, 44, 44, 46),
         arp_octave_up=True, sections=[
             section(["Gm", "Dm", "Eb", "Cm"], drums="sparse", melody=None),
             section(["Gm", "Dm", "Eb", "Cm"], melody="a", repeat=2),
             section(["Bb", "F", "Gm", "D7"], melody="b", bass="pulse", repeat=2),
             section(["Gm", "Dm", "Eb", "Cm"], melody="a"),
             section(["Eb", "F", "Dm", "Gm", "Cm", "D7", "Gm", "Gm"], melody="c", drums="halftime"),
         ]),
    Tune("Afterglow Drive", "Eb", "major", 6, seed=97, drums="disco", bass_figure="octaves", arp_rhythm="pump",
         lead_range=(63, 82), volumes=(56, 40, 42, 48), arp_wave="sqr", sections=[
             section(["Eb", "Bb", "Cm", "Ab"], melody=None, drums="hats"),
             section(["Eb", "Bb", "Cm", "Ab"], melody="a", repeat=2),
             section(["Ab", "Bb", "Gm", "Cm", "Ab", "Bb", "Eb", "Eb"], melody="b", bass="eighths"),
             section(["Eb", "Bb", "Cm", "Ab"], melody="a", repeat=2),
             section(["F", "C", "Dm", "Bb"], melody="a", key="F", repeat=2),
         ]),
]


# The "AHX" resource id of each tune, in disk order.
RESOURCE_IDS = [126, 127, 128, 129, 130, 131, 132, 136, 137, 139]


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    table = ["# Written by compose.py: resource id, song file and title of each track, in disk order."]
    for number, (tune, resource_id) in enumerate(zip(TUNES, RESOURCE_IDS), 1):
        with open(os.path.join(out_dir, "track%02d.ahxt" % number), "w") as f:
            f.write(tune.text())
        table.append("%d\ttrack%02d.ahx\t%s" % (resource_id, number, tune.title))
    with open(os.path.join(out_dir, "tracks.txt"), "w") as f:
        f.write("\n".join(table) + "\n")


if __name__ == "__main__":
    main()
