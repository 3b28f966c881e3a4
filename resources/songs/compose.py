#!/usr/bin/python3
"""Writes the ten tunes' text sources (trackNN.ahxt) from compact descriptions.

A tune is described as a musician sketches one: key, groove, sound, and a
form of sections, each with its chords (one cell per bar, two chords in a
cell split the bar) and a texture, the role of each of the four channels:

    ch1  D main groove, d second groove, H hats only, S snare and hats (the
         kick then sits in the bass channel), R a build's snare roll,
         - nothing (the channel still carries the tempo)
    ch2  B bass, b the tune's second bass figure, K kick and bass in one
         channel, P pedal, - nothing
    ch3  A arpeggio, a arpeggio restruck another way, E echo of the lead,
         C counter-line of guide tones under the lead, - nothing
    ch4  L the lead playing the section's theme (A, B, X ...), - a rest

Themes are written once per tune from a motif -- one bar of rhythm and a
contour in scale steps -- and phrased in fours: the motif, the motif again
as a sequence over the next chords, and a cadence. Every later statement of a
theme is varied (another lead sound, a recomposed cadence, glides). The bass
walks to each next root with passing and approach notes, the arpeggios are
voice-led through inversions, and the drums mark phrases with fills.

Volumes start from each wave's loudness (a saw or triangle needs more than a
square to sound as loud) and each tune's gain levels it to -14 LUFS, with
the lead on top; analyse.py measures that on the rendered songs.

The loop runs from the first section after the intro to a one-bar turn on
the dominant, which also closes the intro, so the loop's second pass plays
tick for tick as its first.

Usage: compose.py [OUTPUT_DIR]   (default: the directory of this script)
Then `ahx compile trackNN.ahxt -o trackNN.ahx` for each tune. Everything is
deterministic: the same descriptions always give the same sources.
`analyse.py` beside this script measures the result.

It also writes tracks.txt, the disk's tracks in disk order (song file and
title of each), which the disk's manifest, ../musicdisk.txt, includes.
"""

import os
import sys

STEPS = 16  # steps per bar = per track
NOTE_NAMES = ["C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"]
# Amiga periods of notes 0..60; the portamento speed is worked out from them.
PERIODS = [0, 3424, 3232, 3048, 2880, 2712, 2560, 2416, 2280, 2152, 2032, 1920, 1812, 1712, 1616, 1524,
           1440, 1356, 1280, 1208, 1140, 1076, 1016, 960, 906, 856, 808, 762, 720, 678, 640, 604, 570, 538,
           508, 480, 453, 428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226, 214, 202, 190, 180,
           170, 160, 151, 143, 135, 127, 120, 113]

PITCH_CLASSES = {"C": 0, "C#": 1, "Db": 1, "D": 2, "D#": 3, "Eb": 3, "E": 4, "F": 5, "F#": 6, "Gb": 6,
                 "G": 7, "G#": 8, "Ab": 8, "A": 9, "A#": 10, "Bb": 10, "B": 11, "Cb": 11}
# Chord qualities: intervals above the root.
QUALITIES = {"": (0, 4, 7), "m": (0, 3, 7), "7": (0, 4, 7, 10), "m7": (0, 3, 7, 10), "maj7": (0, 4, 7, 11),
             "sus4": (0, 5, 7), "dim": (0, 3, 6)}
SCALES = {"major": (0, 2, 4, 5, 7, 9, 11), "minor": (0, 2, 3, 5, 7, 8, 10), "dorian": (0, 2, 3, 5, 7, 9, 10),
          "mixolydian": (0, 2, 4, 5, 7, 9, 10)}

LEAD_WAVE_LENGTH = 3
BASS_WAVE_LENGTH = 5


def parse_chord(name):
    """'F#m7' -> (6, 'm7')."""
    root = name[:2] if len(name) > 1 and name[1] in "#b" else name[:1]
    return PITCH_CLASSES[root], name[len(root):]


def chord_pcs(name):
    root, quality = parse_chord(name)
    return [(root + i) % 12 for i in QUALITIES[quality]]


def track_note(midi, wave_length):
    """The step note that sounds at MIDI pitch `midi` on an instrument of this wave length."""
    n = midi - 59 + 12 * wave_length
    if not 1 <= n <= 60:
        raise ValueError("MIDI %d is out of range for wave length %d" % (midi, wave_length))
    return n


def note_name(n):
    return "---" if n == 0 else NOTE_NAMES[(n - 1) % 12] + str((n - 1) // 12 + 1)


def semitone_above_chord_tone(pitch, pcs):
    """A held note rubbing against the chord: F over E, C over B."""
    return (pitch - 1) % 12 in pcs


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


def scaled(volume, gain):
    return max(1, min(64, int(round(volume * gain))))


def make_kit(kit, gain):
    """The tune's drums. Fixed-note rows, so transposes never move them."""
    k = kit
    drop = k["kick_drop"]
    kick_rows = [("noi", "=" + k.get("kick_click", "G-4"), "000", "000")]
    kick_rows += [("tri" if i == 0 else "---", "=" + note_name(n), "000", "000") for i, n in enumerate(drop)]
    kick = Instrument("kick", scaled(k["kick_volume"], gain), 4, attack=(1, 64), decay=(k["kick_decay"], 40),
                      sustain=0, release=(8, 0), hard_cut=(2, True), rows=kick_rows)
    snare_rows = [(k.get("snare_wave", "tri"), "=" + note_name(k["snare_body"]), "000", "000"),
                  ("noi", "=" + k["snare_noise"], "0%02X" % k.get("snare_filter", 0x20), "000"),
                  ("---", "=A#4", "000", "000")]
    snare = Instrument("snare", scaled(k["snare_volume"], gain), 3, attack=(1, 60), decay=(k["snare_decay"], 26),
                       sustain=0, release=(10, 0), hard_cut=(2, True), rows=snare_rows)
    hat = Instrument("hat", scaled(k["hat_volume"], gain), 3, attack=(1, 44), decay=(k["hat_decay"], 10),
                     sustain=0, release=(4, 0), hard_cut=(1, False),
                     rows=[("noi", "=C-5", "0%02X" % k["hat_filter"], "000")])
    open_hat = Instrument("open hat", scaled(k["hat_volume"] + 2, gain), 3, attack=(1, 48),
                          decay=(k["hat_decay"] + 6, 24), sustain=4, release=(14, 0), hard_cut=(1, True),
                          rows=[("noi", "=C-5", "0%02X" % (k["hat_filter"] - 4), "000")])
    tom = Instrument("tom", scaled(k["kick_volume"] - 6, gain), 4, attack=(1, 64), decay=(10, 30), sustain=0,
                     release=(8, 0), hard_cut=(2, True),
                     rows=[("noi", "=F-4", "000", "000"), ("tri", "+0", "203", "000")])
    crash = Instrument("crash", scaled(k["hat_volume"] + 4, gain), 3, attack=(1, 52), decay=(20, 30), sustain=10,
                       release=(50, 0), rows=[("noi", "=C-5", "028", "000"), ("---", "=B-4", "024", "000")])
    return {"K": kick, "S": snare, "h": hat, "o": open_hat, "t": tom, "c": crash}


def make_bass(sound, gain):
    wave = sound["bass_wave"]
    if wave == "sqr":
        rows = [("sqr", "+0", "320", "401")]
        square = sound.get("bass_square", (28, 36, 2))
    else:
        rows = [(wave, "+0", "410", "000")]
        square = (0, 0, 0)
    return Instrument("bass", scaled(sound["bass_volume"], gain), BASS_WAVE_LENGTH, attack=(1, 64),
                      decay=sound.get("bass_decay", (12, 44)), sustain=30, release=(24, 0),
                      filter=sound.get("bass_filter", (10, 30, 6)), square=square, hard_cut=(1, True), rows=rows)


def make_lead(name, sound, gain, volume_scale=1.0, vibrato=None, wave=None, blip=False):
    wave = wave or sound["lead_wave"]
    first = "+12" if blip else "+0"
    if wave == "sqr":
        rows = [("sqr", first, "320", "401")]
        square = sound.get("lead_square", (28, 36, 3))
    else:
        rows = [(wave, first, "000", "000")]
        square = (0, 0, 0)
    if blip:
        rows.append(("---", "+0", "000", "000"))
    return Instrument(name, scaled(sound["lead_volume"] * volume_scale, gain), LEAD_WAVE_LENGTH,
                      attack=(2, 64), decay=sound.get("lead_decay", (14, 50)), sustain=80, release=(30, 30),
                      filter=sound.get("lead_filter", (0, 0, 0)), square=square,
                      vibrato=vibrato or sound["lead_vibrato"], rows=rows)


def make_chord(shape, sound, gain):
    """One instrument per chord shape (intervals above the lowest note): the
    playlist cycles the tones, its last row jumping back to row 1."""
    wave = sound["chord_wave"]
    intervals = list(shape)
    if sound.get("chord_octave"):
        intervals.append(12)
    rows = [(wave, "+0", "410" if sound["chord_filter"][2] else "000", "320" if wave == "sqr" else "000")]
    rows += [("---", "+%d" % i, "000", "000") for i in intervals[1:]]
    rows.append(("---", "+0", "501", "000"))
    return Instrument("chord " + " ".join(str(i) for i in shape), scaled(sound["chord_volume"], gain), 3,
                      attack=(2, 60), decay=(20, 46), sustain=120, release=(60, 20), filter=sound["chord_filter"],
                      square=(30, 34, 2) if wave == "sqr" else (0, 0, 0), speed=sound["chord_speed"], rows=rows)


def make_counter(sound, gain):
    return Instrument("counter", scaled(sound["counter_volume"], gain), 3, attack=(6, 60), decay=(20, 44),
                      sustain=40, release=(30, 24), filter=(16, 26, 3), vibrato=(20, 2, 5),
                      rows=[(sound.get("counter_wave", "tri"), "+0", "410", "000")])


# --- bars ----------------------------------------------------------------------

class Step:
    __slots__ = ("note", "instrument", "command", "parameter")

    def __init__(self, note=0, instrument=0, command=0, parameter=0):
        self.note, self.instrument, self.command, self.parameter = note, instrument, command, parameter

    def key(self):
        return (self.note, self.instrument, self.command, self.parameter)


def empty_bar():
    return [Step() for _ in range(STEPS)]


def rhythm_of(strip):
    """'x-x-x--x.x------' -> [(onset, length)], a '.' ending the note before it."""
    notes = []
    for i, c in enumerate(strip):
        if c == "x":
            notes.append([i, 1])
        elif c == "-" and notes:
            notes[-1][1] += 1
    return [tuple(n) for n in notes]


def strip_of(rhythm, length=STEPS):
    s = ["."] * length
    for start, n in rhythm:
        s[start] = "x"
        for i in range(start + 1, min(length, start + n)):
            s[i] = "-"
    return "".join(s)


class Note:
    """A sounding note of the model: bar-relative step, length, MIDI pitch."""
    __slots__ = ("start", "length", "pitch", "glide")

    def __init__(self, start, length, pitch, glide=False):
        self.start, self.length, self.pitch, self.glide = start, length, pitch, glide


# --- the composer --------------------------------------------------------------

class Bar:
    """One bar of the tune: its chords per step and what each channel plays."""

    def __init__(self, chords, section, index, texture, theme):
        self.chords = chords              # 16 chord names, one per step
        self.section = section            # the section's name and statement, e.g. "A#2"
        self.index = index                # bar within the section
        self.texture = texture            # four role letters
        self.theme = theme
        self.lead = []                    # Notes of the lead (channel 4)
        self.bass = []                    # Notes of the bass (channel 2)
        self.chord_lows = []              # (step, lowest arpeggio pitch, shape)
        self.steps = None                 # four lists of Step, once written


class Tune:
    def __init__(self, title, key, scale, speeds, sound, kit, grooves, themes, sections, mood,
                 gain=1.0, omit_track0=False, bass_styles=("root", "walk"), arp_rhythms=("half", "pump"),
                 lead_range=(64, 81), chord_range=(52, 60)):
        self.title, self.mood = title, mood
        self.key_pc = PITCH_CLASSES[key]
        self.key = key
        self.scale_name = scale
        self.scale = SCALES[scale]
        self.speeds = speeds
        self.sound, self.kit, self.grooves, self.themes = sound, kit, grooves, themes
        self.sections = sections
        self.gain = gain
        self.omit_track0 = omit_track0
        self.bass_styles, self.arp_rhythms = bass_styles, arp_rhythms
        self.lead_range, self.chord_range = lead_range, chord_range
        self.instruments = []
        self.numbers = {}

    # Instruments are numbered in the order they are first asked for.
    def instrument(self, key, make):
        if key not in self.numbers:
            self.instruments.append(make())
            self.numbers[key] = len(self.instruments)
        return self.numbers[key]

    def ticks_per_bar(self):
        return 4 * sum(self.speeds)

    # --- harmony helpers ---

    def scale_pitches(self, chord, shift):
        """The key's scale bent to the chord: a chord tone outside it replaces
        the scale notes a semitone from it."""
        pcs = {(self.key_pc + shift + d) % 12 for d in self.scale}
        for tone in chord_pcs(chord):
            if tone not in pcs:
                pcs -= {(tone + 1) % 12, (tone - 1) % 12}
                pcs.add(tone)
        lo, hi = self.lead_range
        return [m for m in range(lo - 12, hi + 13) if m % 12 in pcs]

    # --- section expansion ---

    def expand(self):
        """The bars of the tune, intro first; answers (bars, restart bar)."""
        bars = []
        statements = {}
        restart = None
        for sec in self.sections:
            name, cells, texture = sec["name"], sec["chords"], sec["texture"]
            if sec.get("loop_start"):
                restart = len(bars)
            statements[name] = statements.get(name, 0) + 1
            shift = sec.get("shift", 0)
            textures = texture if isinstance(texture, list) else [texture] * len(cells)
            themes = sec.get("theme")
            themes = themes if isinstance(themes, list) else [themes] * len(cells)
            for i, cell in enumerate(cells):
                names = cell.split()
                chords = [transpose_chord(names[0] if s < 8 or len(names) == 1 else names[1], shift)
                          for s in range(STEPS)]
                bar = Bar(chords, "%s#%d" % (name, statements[name]), i, textures[i], themes[i])
                bar.section_name = name
                bar.statement = statements[name]
                bar.shift = shift
                bar.section_bars = len(cells)
                bar.drums = sec.get("drums")
                bar.bass_style = sec.get("bass")
                bar.arp = sec.get("arp")
                bar.variant = sec.get("variant", statements[name] - 1)
                bars.append(bar)
        return bars, restart

    # --- lead ---

    def compose_theme(self, theme, bars, start_pitch, variant):
        """The lead over `bars` (a statement of a theme): phrases of four bars,
        each the motif, the motif in sequence, and a cadence."""
        motif_plan = self.themes[theme]
        rhythms = motif_plan["rhythms"]   # per bar of a 4-bar phrase: strips
        contour = motif_plan["contour"]   # scale steps between the notes of the motif bar
        shifts = motif_plan["shifts"]     # where each bar starts, in scale steps from the last note
        current = start_pitch
        lo, hi = self.lead_range
        for i, bar in enumerate(bars):
            pos = i % len(rhythms)
            strip = rhythms[pos]
            # A return recomposes the bar of each phrase that does not repeat
            # the motif's rhythm: the cadence, or the contrasting third bar.
            free = max(k for k in range(len(rhythms)) if rhythms[k] != rhythms[0]) if len(set(rhythms)) > 1 else -1
            if variant and pos == free and "variant_cadence" in motif_plan:
                strip = motif_plan["variant_cadence"][(variant - 1) % len(motif_plan["variant_cadence"])]
            rhythm = rhythm_of(strip)
            notes = []
            for j, (start, length) in enumerate(rhythm):
                chord = bar.chords[start]
                scale = self.scale_pitches(chord, bar.shift)
                idx = min(range(len(scale)), key=lambda k: abs(scale[k] - current))
                if j == 0:
                    move = shifts[i % len(shifts)]
                else:
                    move = contour[(j - 1) % len(contour)]
                    if pos == len(rhythms) - 1:
                        move = -abs(move) if move else -1  # cadences fall
                target = idx + move
                if not 0 <= target < len(scale) or not lo <= scale[target] <= hi:
                    # At the edge of the range the line turns back.
                    move = -move
                    target = idx + move
                target = max(0, min(len(scale) - 1, target))
                pitch = scale[target]
                end = start + length
                held = [bar.chords[s] for s in range(start, min(end, STEPS))]
                strong = start % 8 == 0 or length >= 4 or (start % 4 == 0 and length >= 3) or j == len(rhythm) - 1
                if strong:
                    pitch = self.nearest_tone(pitch, held, lo, hi, current, move)
                notes.append(Note(start, length, pitch))
                current = pitch
            bar.lead = notes
        return current

    def nearest_tone(self, pitch, held_chords, lo, hi, current, move):
        """The chord tone nearest `pitch` that fits every chord it is held
        over, on the side of `current` the line was moving to."""
        first = chord_pcs(held_chords[0])
        candidates = [m for m in range(lo, hi + 1) if m % 12 in first and
                      not any(semitone_above_chord_tone(m, chord_pcs(c)) for c in set(held_chords))]
        if not candidates:
            candidates = [m for m in range(lo, hi + 1) if m % 12 in first]
        side = [m for m in candidates if (m - current) * move > 0 and abs(m - current) < 5]
        return min(side or candidates, key=lambda m: (abs(m - pitch), m))

    # --- accompaniment ---

    def bass_notes(self, bar, next_chord, style, previous_root):
        """The bass of one bar: roots on the strong steps, connected to the
        next chord by 3rds, passing notes and a chromatic approach."""
        segments = []
        for s in range(STEPS):
            if s == 0 or bar.chords[s] != bar.chords[s - 1]:
                segments.append([s, STEPS, bar.chords[s]])
            else:
                segments[-1][1] = s + 1
        notes = []
        root_pitch = previous_root
        for n, (start, end, chord) in enumerate(segments):
            pc, quality = parse_chord(chord)
            root_pitch = nearest_octave(pc, root_pitch, 33, 47)
            third = root_pitch + QUALITIES[quality][1]
            fifth = root_pitch + 7
            following = segments[n + 1][2] if n + 1 < len(segments) else next_chord
            next_root = nearest_octave(parse_chord(following)[0], root_pitch, 33, 47)
            if next_root != root_pitch:
                approach = next_root - 1 if next_root > root_pitch else next_root + 1
            else:
                approach = fifth
            span = end - start
            if style == "pedal":
                tonic = nearest_octave((self.key_pc + bar.shift) % 12, 40, 33, 47)
                figure = [(i, tonic if i % 4 == 0 else tonic + 12, 2) for i in range(0, span, 2)]
            elif style == "root":
                if span == 16:
                    figure = [(0, root_pitch, 6), (6, root_pitch, 2), (8, fifth, 4), (12, root_pitch + 12, 2),
                              (14, approach, 2)]
                else:
                    figure = [(0, root_pitch, 4), (4, third, 2), (6, approach, 2)]
            elif style == "walk":
                if span == 16:
                    figure = [(0, root_pitch, 4), (4, third, 4), (8, fifth, 4), (12, approach, 4)]
                    if quality in ("", "maj7") and bar.index % 2:
                        figure[1] = (4, root_pitch + 2, 4)
                else:
                    figure = [(0, root_pitch, 4), (4, approach, 4)]
            elif style == "eighth":
                figure = [(i, root_pitch if i % 4 == 0 else root_pitch + 12, 2) for i in range(0, span - 2, 2)]
                figure.append((span - 2, approach, 2))
            elif style == "332":
                if span == 16:
                    figure = [(0, root_pitch, 3), (3, root_pitch + 12, 3), (6, fifth, 2), (8, root_pitch, 2),
                              (10, third, 2), (12, fifth, 2), (14, approach, 2)]
                else:
                    figure = [(0, root_pitch, 3), (3, root_pitch + 12, 3), (6, approach, 2)]
            elif style == "kb":
                # Kick on the beats (written with the drums), bass between.
                if span == 16:
                    figure = [(2, root_pitch, 2), (6, root_pitch + 12, 2), (10, third, 2), (14, approach, 2)]
                else:
                    figure = [(2, root_pitch, 2), (6, approach, 2)]
            else:
                raise ValueError(style)
            notes += [Note(start + s, length, p) for s, p, length in figure if s < span]
        bar.bass = notes
        return root_pitch

    def chord_voicing(self, chord, previous_low):
        """The inversion whose lowest note lies nearest the previous one."""
        pc, quality = parse_chord(chord)
        tones = [(pc + i) % 12 for i in QUALITIES[quality]]
        lo, hi = self.chord_range
        best = None
        for inversion in range(len(tones)):
            low_pc = tones[inversion]
            for low in range(lo, hi + 1):
                if low % 12 != low_pc:
                    continue
                shape = sorted((t - low_pc) % 12 for t in tones)
                cost = abs(low - previous_low)
                if best is None or cost < best[0]:
                    best = (cost, low, tuple(shape))
        return best[1], best[2]

    # --- writing the channels ---

    def drum_pattern(self, bar, bars_left):
        """Channel 1's bar as a strip of drum letters, fills included."""
        role = bar.texture[0]
        if role == "-":
            return "." * STEPS
        if role == "R":
            # A build: the snare doubles its density bar by bar, and stops two
            # steps short of the drop.
            rolls = ["S...S...S...S...", "S.S.S.S.S.S.S.S.", "SSSSSSSSSSSSSSSS", "SSSSSSSSSSSSSS.."]
            return rolls[max(0, 4 - bars_left)]
        pattern = list(self.grooves[bar.drums or {"D": "main", "S": "main", "d": "alt", "H": "hats"}[role]])
        # Fills grow with the phrase: the turn's toms, 8 steps at a section's
        # end, 4 steps at the end of every fourth bar.
        if bar.section_name == "turn":
            pattern = list(self.grooves["turn"])
        elif bars_left == 1 and bar.section_bars >= 8:
            pattern = pattern[:8] + list(self.grooves["fill8"])
        elif (bar.index + 1) % 4 == 0:
            pattern = pattern[:12] + list(self.grooves["fill4"])
        if role == "S":
            # The kick has gone to the bass channel; a hat keeps its off-beats.
            pattern = ["." if c == "K" and i % 4 == 0 else "h" if c == "K" else c for i, c in enumerate(pattern)]
            if bar.index == 0 and bar.section_name in self.grooves["crash_on"]:
                pattern[0] = "c"
        if role == "H":
            pattern = [c if c in "ho" else "." for c in pattern]
        return "".join(pattern)

    def write_bar(self, bar):
        gain = self.gain
        kit = make_kit(self.kit, gain)
        ch = [empty_bar() for _ in range(4)]
        # Channel 1: drums, and the tempo on every bar, so the loop finds it.
        pattern = self.drum_pattern(bar, bar.section_bars - bar.index)
        kick_in_bass = bar.texture[1] == "K"
        for s, c in enumerate(pattern):
            if c == ".":
                continue
            if c == "K" and kick_in_bass:
                continue
            ch[0][s].instrument = self.instrument("drum " + c, lambda c=c: kit[c])
            ch[0][s].note = track_note(self.kit.get("tom_pitch", 50) - 4 * (s % 8 // 2), 4) if c == "t" else 25
        for s in range(STEPS):
            speed = self.speeds[s % 4]
            if s == 0 or speed != self.speeds[(s - 1) % 4]:
                ch[0][s].command, ch[0][s].parameter = 0xF, speed
        # Channel 2: bass (with the kick when they share it).
        if bar.texture[1] != "-":
            number = self.instrument("bass", lambda: make_bass(self.sound, gain))
            for n in bar.bass:
                ch[1][n.start].note = track_note(n.pitch, BASS_WAVE_LENGTH)
                ch[1][n.start].instrument = number
            if kick_in_bass:
                kick = self.instrument("drum K", lambda: kit["K"])
                for s in self.grooves["kb_kicks"]:
                    ch[1][s].note, ch[1][s].instrument = 25, kick
        # Channel 3: chords, echo or counter-line.
        role = bar.texture[2]
        if role in "Aa":
            for s, low, shape in bar.chord_lows:
                ch[2][s].note = track_note(low, 3)
                ch[2][s].instrument = self.instrument(("chord", shape),
                                                      lambda shape=shape: make_chord(shape, self.sound, gain))
        elif role in "EC":
            number = self.instrument(role, lambda: make_counter(self.sound, gain) if role == "C" else
                                     make_lead("echo", self.sound, gain, self.sound.get("echo_scale", 0.55),
                                               vibrato=(0, 0, 0), wave=self.sound.get("echo_wave")))
            for n in bar.third:
                if n.pitch is None:
                    ch[2][n.start].command, ch[2][n.start].parameter = 0xE, 0xC1
                else:
                    ch[2][n.start].note = track_note(n.pitch, 3)
                    ch[2][n.start].instrument = number
        # Channel 4: the lead; a rest stops the note one tick into its step.
        if bar.lead_steps is not None:
            ch[3] = bar.lead_steps
        bar.steps = ch

    def lead_steps(self, bar, previous_pitch, number):
        steps = empty_bar()
        last = previous_pitch
        position = 0
        for n in bar.lead:
            if n.start > position and last is not None:
                steps[position].command, steps[position].parameter = 0xE, 0xC1
            step = steps[n.start]
            step.note = track_note(n.pitch, LEAD_WAVE_LENGTH)
            # Only a note that follows another without a rest can slide from it.
            if n.glide and last is not None and n.start == position > 0 and 1 <= abs(n.pitch - last) <= 4:
                delta = abs(PERIODS[track_note(last, 3)] - PERIODS[step.note])
                speed = max(1, min(255, -(-delta // self.speeds[0])))
                step.command, step.parameter = 3, speed
                for s in range(n.start + 1, min(STEPS, n.start + n.length)):
                    steps[s].command = 3
            else:
                step.instrument = number
            last = n.pitch
            position = n.start + n.length
        if position < STEPS and bar.lead:
            steps[position].command, steps[position].parameter = 0xE, 0xC1
        return steps, last

    # --- the whole tune ---

    def compose(self):
        bars, restart = self.expand()
        self.restart_bar = restart
        # The lead, statement by statement.
        current = (self.lead_range[0] + self.lead_range[1]) // 2
        i = 0
        while i < len(bars):
            theme = bars[i].theme
            if not theme or bars[i].texture[3] == "-":
                bars[i].lead = []
                i += 1
                continue
            j = i
            while j < len(bars) and bars[j].theme == theme and bars[j].section == bars[i].section and \
                    bars[j].texture[3] != "-":
                j += 1
            current = self.compose_theme(theme, bars[i:j], current, bars[i].variant)
            if bars[i].variant:
                # Returns glide into some of their notes.
                for bar in bars[i:j]:
                    for k, n in enumerate(bar.lead):
                        if k and (k + bar.index + bars[i].variant) % 3 == 0 and n.length >= 2:
                            n.glide = True
            i = j
        # Bass and chords.
        root = 40
        low = (self.chord_range[0] + self.chord_range[1]) // 2
        for k, bar in enumerate(bars):
            following = bars[k + 1] if k + 1 < len(bars) else bars[restart]
            style = bar.bass_style or (self.bass_styles[0] if bar.texture[1] == "B" else
                                       self.bass_styles[1] if bar.texture[1] == "b" else
                                       "kb" if bar.texture[1] == "K" else "pedal")
            root = self.bass_notes(bar, following.chords[0], style, root)
            rhythm = {"A": self.arp_rhythms[0], "a": self.arp_rhythms[1]}.get(bar.texture[2])
            bar.chord_lows = []
            if rhythm:
                strikes = set(ARP[bar.arp or rhythm])
                for s in range(STEPS):
                    if s in strikes or s == 0 or bar.chords[s] != bar.chords[s - 1]:
                        low, shape = self.chord_voicing(bar.chords[s], low)
                        bar.chord_lows.append((s, low, shape))
        # Channel 3's lines: echo of the lead, or a counter-line of guide tones.
        for k, bar in enumerate(bars):
            bar.third = []
            if bar.texture[2] == "E":
                delay = self.sound.get("echo_delay", 3)
                prev = bars[k - 1] if k else bar
                events = [(n.start - STEPS, n) for n in (prev.lead if prev.texture[3] != "-" else [])]
                events += [(n.start, n) for n in bar.lead]
                lead_at = {}
                for start, n in events:
                    for s in range(start, start + n.length):
                        lead_at[s] = n.pitch
                for start, n in events:
                    s = start + delay
                    if 0 <= s < STEPS:
                        other = lead_at.get(s)
                        if other is not None and abs(other - n.pitch) % 12 in (1, 6, 11):
                            bar.third.append(Note(s, 1, None))
                            continue
                        bar.third.append(Note(s, n.length, n.pitch - 12 if self.sound.get("echo_down") else n.pitch))
                        end = s + n.length
                        if end < STEPS and not any(start2 + delay == end for start2, _ in events):
                            bar.third.append(Note(end, 1, None))
                bar.third.sort(key=lambda n: n.start)
                dedup = {}
                for n in bar.third:
                    if n.start not in dedup or n.pitch is not None:
                        dedup[n.start] = n
                bar.third = [dedup[s] for s in sorted(dedup)]
            elif bar.texture[2] == "C":
                guide = getattr(self, "_guide", 60)
                for s in (0, 8):
                    chord = bar.chords[s]
                    pc, quality = parse_chord(chord)
                    tones = [(pc + i) % 12 for i in QUALITIES[quality][1:]]
                    lead_pcs = {n.pitch % 12 for n in bar.lead if n.start <= s < n.start + n.length}
                    # Under the lead, a 3rd to a 10th below where it sits.
                    top = min([n.pitch for n in bar.lead] or [self.lead_range[0]]) - 3
                    options = [m for m in range(top - 12, top + 1) if m % 12 in tones and m % 12 not in lead_pcs]
                    if s == 8 and bar.chords[8] == bar.chords[0]:
                        options = [m for m in options if m != guide] or options
                    guide = min(options, key=lambda m: (abs(m - guide), m))
                    bar.third.append(Note(s, 8, guide))
                self._guide = guide
        # Lead steps: the lead's sound changes with each statement of a theme.
        previous = None
        for bar in bars:
            if not bar.lead:
                bar.lead_steps = empty_bar()
                if previous is not None:
                    bar.lead_steps[0].command, bar.lead_steps[0].parameter = 0xE, 0xC1
                previous = None
                continue
            leads = self.sound["leads"]
            kind = leads[bar.variant % len(leads)]
            number = self.instrument(("lead", kind), lambda kind=kind: self.lead_instrument(kind))
            bar.lead_steps, previous = self.lead_steps(bar, previous, number)
        for bar in bars:
            self.write_bar(bar)
        # The intro ends with the loop's own last bar, so the loop is entered
        # alike both times.
        last = bars[-1]
        intro_turn = bars[restart - 1]
        for attribute in ("lead", "bass", "chord_lows", "third", "steps", "chords"):
            setattr(intro_turn, attribute, getattr(last, attribute))
        return bars

    def lead_instrument(self, kind):
        s, g = self.sound, self.gain
        if kind == "lead":
            return make_lead("lead", s, g)
        if kind == "blip":
            return make_lead("lead blip", s, g, blip=True)
        if kind == "soft":
            return make_lead("lead soft", s, g, vibrato=(8, 3, 5), wave=s.get("soft_wave", "tri"),
                             volume_scale=s.get("soft_scale", 1.25))
        if kind == "wide":
            return make_lead("lead vibrato", s, g, vibrato=(6, 4, 6))
        raise ValueError(kind)

    def text(self):
        bars = self.compose()
        tracks = []
        if self.omit_track0:
            tracks.append(empty_bar())
        positions = []
        for bar in bars:
            fixed = {self.numbers[k] for k in self.numbers if isinstance(k, str) and k.startswith("drum")}
            positions.append([self.store(tracks, steps, channel in (1, 2), fixed)
                              for channel, steps in enumerate(bar.steps)])
        lines = ["# %s -- written by compose.py; edit the description there, not this file." % self.title,
                 'title "%s"' % self.title,
                 "revision 1",
                 "speed-multiplier 1",
                 "restart %d" % self.restart_bar,
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
        self.bars = bars
        return "\n".join(lines) + "\n"

    @staticmethod
    def store(tracks, steps, transposable, fixed):
        """Finds or adds the track; answers (number, transpose). Drums in a
        bass track play fixed notes, which a transpose leaves alone."""
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
            if any(a[1] in fixed and a[0] != b[0] for a, b in zip(keys, other)):
                continue
            diffs = {a[0] - b[0] for a, b in zip(keys, other) if a[0] and a[1] not in fixed}
            if len(diffs) == 1:
                d = diffs.pop()
                if -24 <= d <= 24 and all(1 <= b[0] + d <= 60 for b in other if b[0]):
                    return number, d
        tracks.append(steps)
        return len(tracks) - 1, 0


def transpose_chord(name, shift):
    if not shift:
        return name
    pc, quality = parse_chord(name)
    names = ["C", "Db", "D", "Eb", "E", "F", "F#", "G", "Ab", "A", "Bb", "B"]
    return names[(pc + shift) % 12] + quality


def nearest_octave(pc, near, lo, hi):
    options = [m for m in range(lo, hi + 1) if m % 12 == pc]
    return min(options, key=lambda m: (abs(m - near), m))


ARP = {"hold": [0], "half": [0, 8], "pump": [0, 4, 8, 12], "push": [0, 6, 10], "off": [2, 6, 10, 14],
       "332": [0, 3, 6, 8, 11, 14], "dotted": [0, 6, 12]}


def section(name, chords, texture, theme=None, **style):
    cells = [c.strip() for c in chords.split("|") if c.strip()]
    expanded = []
    for c in cells:
        expanded.append(expanded[-1] if c == "%" else c)
    return dict(name=name, chords=expanded, texture=texture, theme=theme, **style)


def groove(main, alt, fill4="S.SS", fill8="S.S.S.SS", turn="K.S.t.t.t.t.SSSS", hats="h.h.h.h.h.h.h.ho",
           roll="S...S...S.S.SSSS", kb_kicks=(0, 8), crash_on=()):
    return dict(main=main, alt=alt, fill4=fill4, fill8=fill8, turn=turn, hats=hats, roll=roll,
                kb_kicks=kb_kicks, crash_on=crash_on)


def theme(rhythms, contour, shifts, variant_cadence=()):
    motif_plan = dict(rhythms=rhythms, contour=contour, shifts=shifts)
    if variant_cadence:
        motif_plan["variant_cadence"] = list(variant_cadence)
    return motif_plan


def breakdown(chords, lead_bars=4, echo="E"):
    """A breakdown: drums and bass out while the lead and its echo play,
    then the lead rests over a pedal and slow chords."""
    cells = [c.strip() for c in chords.split("|") if c.strip()]
    textures = ["--%sL" % echo] * lead_bars + ["-PA-"] * (len(cells) - lead_bars)
    return section("X", chords, textures, theme="X", arp="hold")


TUNES = [
    Tune("Harbour Lights", "A", "minor", (6, 6, 6, 6), mood="nocturne", omit_track0=True,
         lead_range=(64, 79), chord_range=(52, 60), bass_styles=("root", "332"), arp_rhythms=("half", "push"),
         sound=dict(lead_wave="sqr", lead_volume=44, lead_vibrato=(14, 3, 6), leads=("lead", "wide", "soft"),
                    bass_wave="sqr", bass_volume=36, chord_wave="saw", chord_volume=62, chord_filter=(10, 31, 7),
                    chord_speed=2, counter_volume=44, echo_delay=3),
         kit=dict(kick_volume=56, kick_drop=(40, 33, 27, 23, 20, 18), kick_decay=6, snare_volume=48,
                  snare_body=34, snare_noise="C-5", snare_decay=10, hat_volume=30, hat_decay=3, hat_filter=0x2C),
         grooves=groove("K.h.S.h.K.hKS.h.", "K.h.h.h.S.h.hKh.", crash_on=("A",)),
         themes=dict(
             A=theme(["x-x---x-x-----x-", "x-x---x-x-----x-", "x-x---x-x-----x-", "x---x-------...."],
                     [1, 1, -1, -1], [0, 1, 1, -1, 0, 2, 1, -2], ["x-x-x-x-x-----..", "x-xx--x-x-------"]),
             B=theme(["..x-x-x-x---x-..", "..x-x-x-x---x-..", "x---x-x---x-x-..", "..x-x-x-x---x-.."],
                     [1, 1, 1, -1, -2], [2, -1, -1, 1, 0, 1, -1, -1]),
             X=theme(["x-----x---------", "x-----x---------", "x-----x---------", "x-----------...."],
                     [-1, -1], [0, 1, -1, -1]),
             T=theme(["x-----......x-x-"], [1], [0])),
         sections=[
             section("intro", "Am | Am | F", "H-A-"),
             section("turn", "E", "DBAL", theme="T"),
             section("A", "Am | G | F | E | Am | G | F E | Am", "DBAL", theme="A", loop_start=True),
             section("A", "Am | G | F | E | Am | G | F E | Am", "DbAL", theme="A"),
             section("B", "C | G | Am | Em | F | C | Dm | E", "dBaL", theme="B"),
             breakdown("Am | % | F | % | Dm | % | E | %"),
             section("A", "Am | G | F | E | Am | G | F E | Am", "SKCL", theme="A"),
             section("A", "Am | G | F | E | Am | G | Dm E | Am", "DbaL", theme="A"),
             section("tag", "F | G | Am", "DBA-"),
             section("turn", "E", "DBAL", theme="T"),
         ]),
    Tune("Copper Sunrise", "D", "major", (5, 5, 5, 5), mood="anthem",
         lead_range=(66, 83), chord_range=(54, 62), bass_styles=("eighth", "walk"), arp_rhythms=("pump", "332"),
         sound=dict(lead_wave="sqr", lead_volume=42, lead_vibrato=(12, 2, 6), leads=("lead", "blip", "wide"),
                    bass_wave="sqr", bass_volume=34, bass_decay=(8, 40), bass_square=(30, 34, 3), chord_wave="sqr",
                    chord_volume=36, chord_filter=(0, 0, 0), chord_speed=2, counter_volume=40, echo_delay=4),
         kit=dict(kick_volume=58, kick_drop=(41, 34, 28, 24, 21, 19), kick_decay=5, snare_volume=46,
                  snare_body=36, snare_noise="D-5", snare_decay=9, hat_volume=28, hat_decay=2, hat_filter=0x30),
         grooves=groove("K.h.S.h.K.h.S.ho", "K.o.S.o.K.o.S.oh", kb_kicks=(0, 4, 8, 12), crash_on=("A",)),
         themes=dict(
             A=theme(["x---x-x-x---x---", "x---x-x-x---x---", "x---x-x-x---x---", "x-x-x-------...."],
                     [1, 1, -1, 1], [0, 2, -1, -1, 0, 2, 1, -2], ["x-x-x-x-x---....", "xxxxx---x-------"]),
             B=theme(["x-----x-x-x-x---", "x-----x-x-x-x---", "x-x-x-x-x-------", "x-----x-x-x-x---"],
                     [-1, -1, 1, 2], [1, -1, 2, -1, 1, -1, -1, -1]),
             X=theme(["x-------x---x---", "x-------x---x---", "x-------x---x---", "x-------------.."],
                     [1, -1], [0, -1, 1, -1]),
             T=theme(["x-----....x-x-x-"], [1], [0])),
         sections=[
             section("intro", "D | G | D", "HPA-"),
             section("turn", "A", "DBAL", theme="T"),
             section("A", "D | G | Em | A | D | G | Em A | D", "DBAL", theme="A", loop_start=True),
             section("A", "D | G | Em | A | D | G | Em A | D", "DbAL", theme="A"),
             section("B", "Bm | G | D | A | Bm | G | Em | A", "dBaL", theme="B"),
             section("A", "D | G | Em | A | D | G | Em A | D", "DBaL", theme="A"),
             breakdown("Bm | % | G | % | Em | % | A | %"),
             section("build", "G | % | A | %", "RPa-"),
             section("A", "D | G | Em | A | D | G | Em A | D", "SKCL", theme="A"),
             section("A", "D | G | Em | A | D | G | Em A | Bm", "SKCL", theme="A"),
             section("tag", "G | Em | G", "DBA-"),
             section("turn", "A", "DBAL", theme="T"),
         ]),
    Tune("Glass Orchard", "E", "dorian", (7, 7, 7, 7), mood="dreamy", omit_track0=True, gain=1.2,
         lead_range=(62, 79), chord_range=(52, 60), bass_styles=("332", "walk"), arp_rhythms=("half", "dotted"),
         sound=dict(lead_wave="sqr", lead_volume=42, lead_vibrato=(20, 2, 5), leads=("wide", "lead", "soft"),
                    bass_wave="saw", bass_volume=42, bass_filter=(8, 26, 5), chord_wave="tri", chord_volume=62,
                    chord_filter=(0, 0, 0), chord_speed=3, counter_volume=48, echo_delay=6, echo_scale=0.6),
         kit=dict(kick_volume=50, kick_drop=(38, 31, 26, 22, 19, 17, 16), kick_decay=8, snare_volume=44,
                  snare_body=31, snare_noise="A#4", snare_decay=12, hat_volume=26, hat_decay=4, hat_filter=0x28),
         grooves=groove("K.h.h.h.S.h.hKh.", "K.h.S.hK.hK.S.h.", kb_kicks=(0, 8), crash_on=("drop",)),
         themes=dict(
             A=theme(["x--x--x---x-x---", "x--x--x---x-x---", "x--x--x---x-x---", "x--x--x-----...."],
                     [1, -1, 2, -1], [0, 1, 1, -2, 0, 1, -1, -1], ["x--x--x-x-x-x---", "x-xx--x-x---...."]),
             X=theme(["x-----------x---", "x-----------x---", "x-----------x---", "x-----------...."],
                     [-1], [0, -1, 1, -1]),
             T=theme(["x---x---....x-x-"], [1], [0])),
         sections=[
             section("intro", "Em | A | Em", "H-A-"),
             section("turn", "D", "DBAL", theme="T"),
             section("groove", "Em | % | A | % | Em | % | A | %", "DBA-", loop_start=True),
             section("A", "Em | A | Em | A | C | D | Em | A D", "DBAL", theme="A"),
             section("A", "Em | A | Em | A | C | D | Em | A D", "dbaL", theme="A"),
             breakdown("C | % | D | % | Em | % | A | %"),
             section("build", "C | % | D | %", "RPa-"),
             section("A", "Em | A | Em | A | C | D | Em | A D", "SKCL", theme="A"),
             section("outro", "Em | A | Em", "DBA-"),
             section("turn", "D", "DBAL", theme="T"),
         ]),
    Tune("Tin Comet", "G", "major", (5, 5, 4, 4), mood="lifting",
         lead_range=(64, 81), chord_range=(52, 60), bass_styles=("eighth", "332"), arp_rhythms=("push", "pump"),
         sound=dict(lead_wave="sqr", lead_volume=40, lead_vibrato=(10, 2, 7), leads=("lead", "blip"),
                    bass_wave="sqr", bass_volume=34, bass_decay=(5, 36), bass_square=(28, 36, 1), chord_wave="saw",
                    chord_volume=56, chord_filter=(12, 31, 5),
                    chord_speed=1, counter_volume=42, echo_delay=3),
         kit=dict(kick_volume=58, kick_drop=(42, 35, 29, 25, 22), kick_decay=4, snare_volume=48,
                  snare_body=38, snare_noise="C#5", snare_decay=8, hat_volume=30, hat_decay=2, hat_filter=0x34),
         grooves=groove("K.h.S.hK.hK.S.hh", "K.h.S.h.h.K.S.h.", kb_kicks=(0, 8), crash_on=("A",)),
         themes=dict(
             A=theme(["x-x-x-x-x---x---", "x-x-x-x-x---x---", "x-x-x-x-x---x---", "x-x-x---x---...."],
                     [1, 1, -1, -1, 1], [0, 1, 2, -2, 0, 1, 1, -2], ["xxxxx-x-x---....", "x-x-x-x-xxxx...."]),
             B=theme(["..x-x-x-x-x-x---", "..x-x-x-x-x-x---", "x-x-x-x---x-x---", "..x-x-x-x-x-x---"],
                     [1, 1, -1, -2, 1], [-1, 2, -1, 1, 0, -1, 1, -1], ["x-xxx-x---x-....", "xxx-x-x---x-x---"]),
             C=theme(["x-----x-x-x-x-x-", "x-----x-x-x-x-x-", "x-----x-x-x-x-x-", "x-----x-----...."],
                     [-1, -1, 1, 1, -1], [1, -1, 1, 2, 0, -1, -1, -1]),
             X=theme(["x---x-------x---", "x---x-------x---", "x---x-------x---", "x---x-----......"],
                     [1, -1], [0, 1, -1, -1]),
             T=theme(["x-x-x-......x-x-"], [1], [0])),
         sections=[
             section("intro", "C | D | Em", "H-a-"),
             section("turn", "D", "DBAL", theme="T"),
             section("A", "C | D | Bm | Em | C | D | Am D | G", "DBAL", theme="A", loop_start=True),
             section("A", "C | D | Bm | Em | C | D | Am D | G", "DbAL", theme="A"),
             section("B", "Am | D | G | Em | Am | D | G | D", "dBaL", theme="B"),
             breakdown("Em | % | C | % | Am | % | D | %"),
             section("build", "C | % | D | %", "RPa-"),
             section("A", "C | D | Bm | Em | C | D | Am D | G", "SKCL", theme="A"),
             section("C", "Em | C | G | D | Em | C | Am | D", "DBaL", theme="C"),
             section("A", "C | D | Bm | Em | C | D | Am D | G", "SKCL", theme="A"),
             section("tag", "C | Am | G", "DBA-"),
             section("turn", "D", "DBAL", theme="T"),
         ]),
    Tune("Velvet Static", "F", "minor", (8, 8, 8, 8), mood="dramatic", omit_track0=True, gain=1.12,
         lead_range=(63, 80), chord_range=(51, 59), bass_styles=("root", "332"), arp_rhythms=("hold", "half"),
         sound=dict(lead_wave="saw", lead_volume=60, lead_vibrato=(10, 4, 4),
                    leads=("lead", "wide"), bass_wave="tri", bass_volume=56, bass_filter=(0, 0, 0),
                    chord_wave="sqr", chord_volume=34, chord_filter=(0, 0, 0), chord_speed=3, counter_volume=46,
                    echo_delay=2, echo_wave="saw", counter_wave="saw"),
         kit=dict(kick_volume=50, kick_drop=(37, 30, 25, 21, 18, 16, 15), kick_decay=9, snare_volume=44,
                  snare_body=30, snare_noise="B-4", snare_decay=16, hat_volume=28, hat_decay=3, hat_filter=0x2A),
         grooves=groove("K.h.h.h.S.h.hKh.", "K.h.S.h.K.hKS.h.", crash_on=()),
         themes=dict(
             A=theme(["x-----x-x---x---", "x-----x-x---x---", "x-----x-x---x---", "x-----x-----...."],
                     [-1, 1, 1], [0, 1, 1, -1, 0, 2, -1, -1], ["x-----x-x-x-x---", "x---x-x-x-----.."]),
             B=theme(["x---x---x-x-x---", "x---x---x-x-x---", "x-x-x---x-------", "x---x---x-x-x---"],
                     [1, 1, -1, -1], [-1, 1, -1, -1, 1, 1, -1, -2]),
             X=theme(["x---------x-----", "x---------x-----", "x---------x-----", "x---------......"],
                     [-1], [0, 1, -1, -1]),
             T=theme(["x-------....x-xx"], [1, 1, 1], [0])),
         sections=[
             section("intro", "Fm | Db", "H-A-"),
             section("turn", "C", "DBAL", theme="T"),
             section("groove", "Fm | % | Db | %", "DBA-", loop_start=True),
             section("A", "Fm | Db | Bbm | C | Fm | Db | Bbm C | Fm", "DBAL", theme="A"),
             section("B", "Ab | Eb | Db | C | Ab | Eb | Db | C", "dBaL", theme="B"),
             breakdown("Db | % | Bbm | % | Fm | % | C | %"),
             section("A", "Fm | Db | Bbm | C | Fm | Db | Bbm C | Fm", "DbaL", theme="A"),
             section("tag", "Db | Bbm | Fm", "DBA-"),
             section("turn", "C", "DBAL", theme="T"),
         ]),
    Tune("Paper Lanterns", "Bb", "major", (7, 5, 7, 5), mood="swing", gain=1.08,
         lead_range=(62, 79), chord_range=(50, 58), bass_styles=("walk", "walk"), arp_rhythms=("off", "half"),
         sound=dict(lead_wave="sqr", lead_volume=42, lead_vibrato=(12, 3, 7), leads=("soft", "lead", "wide"),
                    soft_wave="tri", soft_scale=1.35, bass_wave="tri", bass_volume=58, bass_filter=(0, 0, 0),
                    chord_wave="tri", chord_volume=60, chord_filter=(0, 0, 0), chord_speed=4, counter_volume=48,
                    echo_delay=4),
         kit=dict(kick_volume=52, kick_drop=(39, 32, 27, 23, 20), kick_decay=6, snare_volume=42,
                  snare_body=33, snare_noise="G-4", snare_decay=14, hat_volume=30, hat_decay=3, hat_filter=0x2E),
         grooves=groove("K.hhS.hKK.hhS.ho", "K.h.S.hhK.h.S.hh", fill4="SS.S", crash_on=()),
         themes=dict(
             A=theme(["..x-x--x-x----x-", "..x-x--x-x----x-", "..x-x--x-x----x-", "x---x--x-------."],
                     [1, 1, -1, -2], [0, 1, -1, 1, 0, 2, -1, -2], ["x-x-x--x-x-x....", "..xxx--x-x------"]),
             B=theme(["x--x--x-x--x----", "x--x--x-x--x----", "x-x-x-x-x-------", "x--x--x-x--x----"],
                     [-1, 1, 1, -1], [1, -1, 1, -1, 2, -1, -1, -1], ["x-xx-xx-x-------", "xxx-x-x-x---...."]),
             C=theme(["x-xx-xx-x-xx-x..", "x-xx-xx-x-xx-x..", "x-xx-xx-x-xx-x..", "x-xx-x------...."],
                     [1, 1, -1, 1, -1, -1, 1], [0, 1, -1, -2, 1, 1, -1, -1]),
             X=theme(["x-----x---x-----", "x-----x---x-----", "x-----x---x-----", "x---------......"],
                     [-1, 1], [0, -1, 1, -1]),
             T=theme(["x-----....xx-x-x"], [1], [0])),
         sections=[
             section("intro", "Cm7 | F7 | Bbmaj7", "H-A-"),
             section("turn", "F7", "DBAL", theme="T"),
             section("A", "Cm7 | F7 | Bbmaj7 | Gm7 | Cm7 | F7 | Bbmaj7 | Cm7 F7", "DBAL", theme="A", loop_start=True),
             section("A", "Cm7 | F7 | Bbmaj7 | Gm7 | Cm7 | F7 | Bbmaj7 | Cm7 F7", "DbCL", theme="A"),
             section("B", "Ebmaj7 | % | Dm7 | G7 | Cm7 | % | F7 | %", "dbaL", theme="B"),
             section("A", "Cm7 | F7 | Bbmaj7 | Gm7 | Cm7 | F7 | Bbmaj7 | Cm7 F7", "DbAL", theme="A"),
             section("solo", "Gm7 | Cm7 | F7 | Bbmaj7 | Gm7 | Cm7 | F7 | %", "DbCL", theme="C"),
             breakdown("Ebmaj7 | % | Cm7 | % | F7 | %", lead_bars=4),
             section("B", "Ebmaj7 | % | Dm7 | G7 | Cm7 | % | F7 | %", "DBAL", theme="B"),
             section("A", "Cm7 | F7 | Bbmaj7 | Gm7 | Cm7 | F7 | Bbmaj7 | Bbmaj7", "DBaL", theme="A"),
             section("tag", "Cm7 F7", "DBA-"),
             section("turn", "F7", "DBAL", theme="T"),
         ]),
    Tune("Night Ferry", "C#", "minor", (6, 5, 6, 5), mood="melancholic", omit_track0=True, gain=1.12,
         lead_range=(61, 78), chord_range=(52, 60), bass_styles=("332", "root"), arp_rhythms=("pump", "half"),
         sound=dict(lead_wave="sqr", lead_volume=44, lead_vibrato=(16, 3, 6), leads=("lead", "wide", "blip"),
                    bass_wave="saw", bass_volume=48, bass_filter=(10, 30, 4), chord_wave="saw", chord_volume=60,
                    chord_filter=(14, 31, 3), chord_speed=2, counter_volume=44, echo_delay=3),
         kit=dict(kick_volume=58, kick_drop=(40, 32, 26, 22, 19, 17), kick_decay=6, snare_volume=46,
                  snare_body=35, snare_noise="C-5", snare_decay=11, hat_volume=28, hat_decay=3, hat_filter=0x32),
         grooves=groove("K.h.K.h.K.h.K.ho", "K.h.S.hK.hK.S.hh", kb_kicks=(0, 4, 8, 12), crash_on=("A",)),
         themes=dict(
             A=theme(["x-x-x---..x-x-x-", "x-x-x---..x-x-x-", "x-x-x---..x-x-x-", "x-x-x-------...."],
                     [-1, -1, 1, 1, -1], [0, 1, 1, -1, 0, 2, -1, -1], ["x-x-x-x-x-x-....", "xxx-x-------...."]),
             B=theme(["x---x-x---x-x---", "x---x-x---x-x---", "x-x-x-x-x-x-x---", "x---x-x---x-x---"],
                     [1, -1, 1, -1], [1, 1, -1, -1, 2, -1, -1, -1]),
             X=theme(["x-----x-----x---", "x-----x-----x---", "x-----x-----x---", "x-----x---......"],
                     [1, -1], [0, -1, 1, -1]),
             T=theme(["x-------..x-x-x-"], [1], [0])),
         sections=[
             section("intro", "C#m | % | A", "H-A-"),
             section("turn", "G#", "DBAL", theme="T"),
             section("A", "C#m | F#m | B | E | C#m | F#m | A G# | C#m", "DBAL", theme="A", loop_start=True),
             section("A", "C#m | F#m | B | E | C#m | F#m | A G# | C#m", "DbAL", theme="A"),
             section("B", "A | B | G#m | C#m | A | B | G# | %", "dBaL", theme="B"),
             breakdown("A | % | F#m | % | C#m | % | G# | %"),
             section("build", "A | % | B | %", "RPa-"),
             section("A", "C#m | F#m | B | E | C#m | F#m | A G# | C#m", "SKCL", theme="A"),
             section("A", "C#m | F#m | B | E | C#m | F#m | D G# | C#m", "DbaL", theme="A"),
             section("tag", "A | B | C#m", "DBA-"),
             section("turn", "G#", "DBAL", theme="T"),
         ]),
    Tune("Kite Festival", "C", "major", (5, 5, 5, 5), mood="warm",
         lead_range=(64, 81), chord_range=(52, 60), bass_styles=("root", "walk"), arp_rhythms=("push", "off"),
         sound=dict(lead_wave="sqr", lead_volume=40, lead_vibrato=(14, 2, 6), leads=("lead", "soft", "blip"),
                    soft_wave="saw", soft_scale=1.4, bass_wave="sqr", bass_volume=36, bass_decay=(16, 48),
                    bass_square=(30, 34, 4), chord_wave="sqr",
                    chord_volume=36, chord_filter=(0, 0, 0), chord_speed=1, counter_volume=46, echo_delay=3),
         kit=dict(kick_volume=56, kick_drop=(41, 33, 28, 24, 20), kick_decay=5, snare_volume=50,
                  snare_body=37, snare_noise="D#5", snare_decay=10, hat_volume=30, hat_decay=2, hat_filter=0x36),
         grooves=groove("K.h.S.h.K.hKS.h.", "K..hS.hK.hKhS.hh", kb_kicks=(0, 8), crash_on=("A",)),
         themes=dict(
             A=theme(["x-x-x-x---x---x-", "x-x-x-x---x---x-", "x-x-x-x---x---x-", "x-x-x-x-----...."],
                     [1, 1, 1, -1, -1], [0, 1, -1, -1, 0, 2, 1, -2], ["x-x-xxx-----....", "xxx-x-x---x-...."]),
             B=theme(["x-x---x-x-x---..", "x-x---x-x-x---..", "x-x-x-x-x-----..", "x-x---x-x-x---.."],
                     [-1, -1, 1, 1], [1, 1, -1, -1, 1, -1, -1, -1], ["x-xxx-x-x-----..", "xx-x-x-x--------"]),
             C=theme(["..x-x-x---x-x---", "..x-x-x---x-x---", "..x-x-x---x-x---", "..x-x-x-----...."],
                     [1, -1, -1, 1], [2, -1, 1, -1, 1, -1, 1, -2]),
             X=theme(["x-------x-------", "x-------x-------", "x-------x-------", "x-------x---...."],
                     [1, -1], [0, 1, -1, -1]),
             T=theme(["x-x---....x-x-x-"], [1], [0])),
         sections=[
             section("intro", "C | Am | Dm", "H-A-"),
             section("turn", "G", "DBAL", theme="T"),
             section("A", "C | Am | Dm | G | C | Am | F G | C", "DBAL", theme="A", loop_start=True),
             section("B", "F | G | Em | Am | F | G | Dm | G", "dBaL", theme="B"),
             section("A", "C | Am | Dm | G | C | Am | F G | C", "DbAL", theme="A"),
             breakdown("Am | % | F | % | Dm | % | G | %"),
             section("C", "Am | Em | F | C | Dm | Am | F | G", "DBaL", theme="C"),
             section("A", "C | Am | Dm | G | C | Am | F G | C", "SKCL", theme="A"),
             section("B", "F | G | Em | Am | F | G | Dm | G", "dbAL", theme="B"),
             section("tag", "F | G | C", "DBA-"),
             section("turn", "G", "DBAL", theme="T"),
         ]),
    Tune("Rust and Rain", "B", "minor", (7, 6, 7, 6), mood="dark", omit_track0=True,
         lead_range=(62, 78), chord_range=(50, 58), bass_styles=("root", "332"), arp_rhythms=("half", "hold"),
         sound=dict(lead_wave="sqr", lead_volume=42, lead_vibrato=(16, 3, 5), leads=("wide", "lead"),
                    bass_wave="sqr", bass_volume=36, bass_filter=(6, 28, 8), chord_wave="saw", chord_volume=60,
                    chord_filter=(8, 28, 6), chord_speed=2, chord_octave=True, counter_volume=44, echo_delay=4),
         kit=dict(kick_volume=54, kick_drop=(36, 29, 24, 20, 17, 15), kick_decay=10, snare_volume=48,
                  snare_body=29, snare_noise="A-4", snare_decay=18, hat_volume=26, hat_decay=4, hat_filter=0x26),
         grooves=groove("K.h.S.h.K.hKS.h.", "K.h.h.h.S.h.hKh.", crash_on=()),
         themes=dict(
             A=theme(["x---x---x-x-x---", "x---x---x-x-x---", "x---x---x-x-x---", "x---x---x---...."],
                     [-1, 1, -1, -1], [0, 1, 1, -1, 0, -1, 2, -2], ["x---x-x-x-x-....", "x-x-x---x-------"]),
             B=theme(["x-x-x---x-----x-", "x-x-x---x-----x-", "x-----x-x-x-x---", "x-x-x---x-----x-"],
                     [1, 1, -1, -1], [1, -1, 1, -1, 1, 1, -1, -2]),
             X=theme(["x-------x-----x-", "x-------x-----x-", "x-------x-----x-", "x-------x-......"],
                     [-1, 1], [0, 1, -1, -1]),
             T=theme(["x-----x-....x-x-"], [1, 1], [0])),
         sections=[
             section("intro", "Bm | % | C", "H-A-"),
             section("turn", "F#", "DBAL", theme="T"),
             section("groove", "Bm | % | C | %", "DBA-", loop_start=True),
             section("A", "Bm | C | Bm | F# | Bm | C | Em F# | Bm", "DBAL", theme="A"),
             section("A", "Bm | C | Bm | F# | Bm | C | Em F# | Bm", "DbAL", theme="A"),
             section("B", "G | D | Em | F# | G | D | Em | F#", "dBaL", theme="B"),
             breakdown("G | % | Em | % | Bm | % | F# | %"),
             section("A", "Bm | C | Bm | F# | Bm | C | Em F# | Bm", "DbaL", theme="A"),
             section("tag", "G | A | Em", "DBA-"),
             section("turn", "F#", "DBAL", theme="T"),
         ]),
    Tune("Afterglow Drive", "Eb", "major", (6, 5, 6, 5), mood="nostalgic",
         lead_range=(63, 79), chord_range=(51, 59), bass_styles=("eighth", "332"), arp_rhythms=("pump", "push"),
         sound=dict(lead_wave="sqr", lead_volume=42, lead_vibrato=(12, 2, 6), leads=("lead", "blip", "wide"),
                    bass_wave="sqr", bass_volume=34, bass_decay=(10, 42), bass_filter=(12, 32, 3), chord_wave="tri",
                    chord_volume=62, chord_filter=(0, 0, 0),
                    chord_speed=2, counter_volume=46, echo_delay=3),
         kit=dict(kick_volume=56, kick_drop=(40, 34, 29, 25, 22, 19), kick_decay=5, snare_volume=46,
                  snare_body=36, snare_noise="C-5", snare_decay=10, hat_volume=30, hat_decay=2, hat_filter=0x2D),
         grooves=groove("Kh.hS.hKKh.hS.ho", "K.h.S.h.K.h.S.hh", kb_kicks=(0, 8), crash_on=("A",)),
         themes=dict(
             A=theme(["x-x-x-x-x-----x-", "x-x-x-x-x-----x-", "x-x-x-x-x-----x-", "x-x-----x---...."],
                     [1, -1, 1, 1, -1], [0, 1, 1, -1, 0, 1, 2, -2], ["x-x-x-x-x---....", "x-xxx---x-------"]),
             B=theme(["x---x-x-x---x-x-", "x---x-x-x---x-x-", "x-x-x---x-x-x---", "x---x-x-x---x-x-"],
                     [-1, -1, 1, -1, 1], [1, 1, -1, -1, 1, -1, -1, -1]),
             X=theme(["x-------x-x-----", "x-------x-x-----", "x-------x-x-----", "x-------x-......"],
                     [1, -1], [0, 1, -1, -1]),
             T=theme(["x-x-----....x-x-"], [1], [0])),
         sections=[
             section("intro", "Eb | Ab | Eb", "H-A-"),
             section("turn", "Bb", "DBAL", theme="T"),
             section("groove", "Eb | % | Ab | %", "DBA-", loop_start=True),
             section("A", "Eb | Ab | Abm | Eb | Cm | Ab | Bb | Eb", "DBAL", theme="A"),
             section("A", "Eb | Ab | Abm | Eb | Cm | Ab | Bb | Eb", "DbAL", theme="A"),
             section("B", "Cm | Gm | Ab | Bb | Cm | Gm | Ab | F7 Bb", "dBaL", theme="B"),
             breakdown("Ab | % | Fm | % | Cm | % | Bb | %"),
             section("build", "Ab | % | C7 | %", "RPa-"),
             section("A", "Eb | Ab | Abm | Eb | Cm | Ab | Bb | Eb", "SKCL", theme="A", shift=2),
             section("A", "Eb | Ab | Abm | Eb | Cm | Ab | Bb | Eb", "DbaL", theme="A", shift=2),
             section("tag", "Ab | Fm | Ab", "DBA-"),
             section("turn", "Bb", "DBAL", theme="T"),
         ]),
]


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    table = ["# Written by compose.py: song file and title of each track, in disk order."]
    for number, tune in enumerate(TUNES, 1):
        with open(os.path.join(out_dir, "track%02d.ahxt" % number), "w") as f:
            f.write(tune.text())
        table.append("track\ttrack%02d.ahx\t%s" % (number, tune.title))
    with open(os.path.join(out_dir, "tracks.txt"), "w") as f:
        f.write("\n".join(table) + "\n")


if __name__ == "__main__":
    main()
