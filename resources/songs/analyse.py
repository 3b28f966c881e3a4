#!/usr/bin/python3
"""Measures the ten tunes against the set's targets and prints one row each.

Note-level figures come from the composer's model of each tune (which
compose.py writes, and a test keeps equal to the committed sources); sound
figures come from the committed songs, rendered by the `ahx` tool exactly as
the device plays them, and measured with libebur128 (EBU R128).

Usage: analyse.py [--ahx PATH] [--check] [TUNE...]
  --ahx PATH  the ahx tool (default: build/native-release/tools/ahx, then
              build/native/tools/ahx under the source tree)
  --check     exit with 1 when a tune misses a target, naming each miss
  TUNE        numbers 1..10 (default: all)
"""

import ctypes
import os
import subprocess
import sys

import numpy

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import compose  # noqa: E402

SAMPLES_PER_TICK = 882  # 44100 Hz at 50 ticks per second

# Targets: (label, test of the measured value)
TARGETS = {
    "source": lambda v: v == 1,  # the committed text is what the composer writes
    "loop s": lambda v: 90 <= v <= 180,
    "textures": lambda v: v >= 3,
    "break bars": lambda v: v >= 4,
    "break s": lambda v: v >= 6,
    "lead rest %": lambda v: v >= 10,
    "same run": lambda v: v <= 8,
    "bar span dB": lambda v: v >= 4,
    "LRA LU": lambda v: v >= 3,
    "phrases": lambda v: v == 0,
    "steps %": lambda v: v >= 55,
    "leaps %": lambda v: v <= 20,
    "returns": lambda v: v == 0,
    "rubs": lambda v: v == 0,
    "own instr": lambda v: v >= 2,
    "bass colour %": lambda v: v >= 25,
    "chord move": lambda v: v <= 3,
    "harm rhythm": lambda v: v == 1,
    "LUFS": lambda v: -15 <= v <= -13,
    "lead over LU": lambda v: v >= 1.5,
    "chords under LU": lambda v: v <= 4,
    "true peak": lambda v: v <= -1,
    "clipped": lambda v: v == 0,
    "DC dBFS": lambda v: v <= -35,
    "clean loop": lambda v: v == 1,
    "cadence": lambda v: v == 1,
    "bytes": lambda v: 1400 <= v <= 7200,
}


def find_tool(given):
    if given:
        return given
    root = os.path.dirname(os.path.dirname(HERE))
    for build in ("native-release", "native", "music-native"):
        path = os.path.join(root, "build", build, "tools", "ahx")
        if os.path.exists(path):
            return path
    sys.exit("analyse.py: no ahx tool found; give --ahx PATH")


class Ebur128:
    """The few calls of libebur128 the per-bar loudness needs."""
    MODE_I = (1 << 2) | (1 << 0)

    def __init__(self):
        self.lib = ctypes.CDLL("libebur128.so.1")
        self.lib.ebur128_init.restype = ctypes.c_void_p
        self.lib.ebur128_init.argtypes = [ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.lib.ebur128_add_frames_short.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t]
        self.lib.ebur128_loudness_global.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_double)]
        self.lib.ebur128_destroy.argtypes = [ctypes.POINTER(ctypes.c_void_p)]

    def loudness(self, samples):
        state = ctypes.c_void_p(self.lib.ebur128_init(1, 44100, self.MODE_I))
        data = numpy.ascontiguousarray(samples, dtype=numpy.int16)
        self.lib.ebur128_add_frames_short(state, data.ctypes.data, len(data))
        out = ctypes.c_double()
        self.lib.ebur128_loudness_global(state, ctypes.byref(out))
        self.lib.ebur128_destroy(ctypes.byref(state))
        return out.value


def tool_loudness(tool, song):
    out = subprocess.run([tool, "info", song, "--loudness"], check=True, capture_output=True, text=True).stdout
    rows = {}
    for line in out.splitlines():
        parts = line.split()
        if not parts:
            continue
        name = " ".join(parts[:2]) if parts[0] == "channel" else parts[0]
        rest = parts[2:] if parts[0] == "channel" else parts[1:]
        if name in ("mix", "channel 1", "channel 2", "channel 3", "channel 4"):
            if rest[0] == "silent":
                rows[name] = None
            else:
                rows[name] = dict(lufs=float(rest[0]), lra=float(rest[2]), tp=float(rest[4]), dc=float(rest[6]))
        if line.startswith("clipped:"):
            rows["clipped"] = 0 if "none" in line else int(line.split()[1])
    return rows


def render(tool, song, *extra):
    raw = subprocess.run([tool, "render", song, "-o", "-", "--raw"] + list(extra), check=True,
                         capture_output=True).stdout
    return numpy.frombuffer(raw, dtype="<i2")


def trace(tool, song, ticks):
    out = subprocess.run([tool, "trace", song, "--ticks", str(ticks)], check=True, capture_output=True,
                         text=True).stdout
    # Volume and period of each voice; the waveform's checksum is left out, as
    # noise is drawn afresh at every note and never repeats.
    rows = []
    for line in out.splitlines():
        if line and line[0].isdigit():
            fields = line.split()[1:]
            rows.append(tuple(fields[i] for i in range(len(fields)) if i % 3 != 2))
    return rows


def sounding(notes):
    """Steps of a bar in which one of the notes sounds."""
    on = set()
    for n in notes:
        on.update(range(n.start, min(compose.STEPS, n.start + n.length)))
    return on


def roman(tune, chord):
    pc, quality = compose.parse_chord(chord)
    return ((pc - tune.key_pc) % 12, quality)


def measure(tune, number, tool, meter, shared):
    with open(os.path.join(HERE, "track%02d.ahxt" % number)) as f:
        committed = f.read()
    m = {"source": int(tune.text() == committed)}
    bars = tune.bars
    restart = tune.restart_bar
    loop = bars[restart:]
    ticks = tune.ticks_per_bar()
    bar_seconds = ticks / 50.0
    m["loop s"] = len(loop) * bar_seconds

    # Form: textures as the sets of sounding roles per bar.
    def roles(bar):
        return tuple(c if c != "-" else "-" for c in bar.texture[:3]) + (("L" if bar.lead else "-"),)
    m["textures"] = len({roles(b) for b in loop})
    run = best = 0
    for b in loop:
        silent = "-" in b.texture[:3]
        run = run + 1 if silent else 0
        best = max(best, run)
    m["break bars"] = best
    m["break s"] = best * bar_seconds
    rest = sum(compose.STEPS - len(sounding(b.lead)) for b in loop)
    m["lead rest %"] = 100.0 * rest / (len(loop) * compose.STEPS)

    # The longest stretch of lead bars heard again note for note.
    sigs = [tuple((n.start, n.length, n.pitch) for n in b.lead) for b in loop]
    longest = 0
    count = len(sigs)
    for offset in range(1, count):
        run = 0
        for i in range(2 * count):
            a, b = sigs[i % count], sigs[(i + offset) % count]
            run = run + 1 if a and a == b else 0
            longest = max(longest, min(run, count))
    m["same run"] = longest

    # Phrases: in every four bars of a statement, bars 2-4 reuse bar 1's rhythm twice or more.
    bad_phrases = 0
    statements = {}
    for b in loop:
        statements.setdefault(b.section, []).append(b)
    for name, group in statements.items():
        for p in range(0, len(group) - 3, 4):
            phrase = group[p:p + 4]
            if not phrase[0].lead:
                continue
            first = compose.strip_of([(n.start, n.length) for n in phrase[0].lead])
            reuse = sum(compose.strip_of([(n.start, n.length) for n in b.lead]) == first for b in phrase[1:])
            bad_phrases += reuse < 2
    m["phrases"] = bad_phrases

    # Intervals of the lead line.
    pitches = [n.pitch for b in loop for n in b.lead]
    intervals = [abs(b - a) for a, b in zip(pitches, pitches[1:])]
    m["steps %"] = 100.0 * sum(i <= 2 for i in intervals) / max(1, len(intervals))
    m["leaps %"] = 100.0 * sum(i >= 5 for i in intervals) / max(1, len(intervals))

    # Returns: a section heard again differs from its first statement in two ways or more.
    first_statement = {}
    unvaried = 0
    for name, group in statements.items():
        base = name.split("#")[0]
        if base == "turn":
            continue
        if base not in first_statement:
            first_statement[base] = group
            continue
        ref = first_statement[base]
        changes = 0
        changes += any(tuple((n.start, n.length, n.pitch) for n in a.lead) !=
                       tuple((n.start, n.length, n.pitch) for n in b.lead) for a, b in zip(ref, group))
        changes += any([s.instrument for s in a.steps[3]] != [s.instrument for s in b.steps[3]]
                       for a, b in zip(ref, group))
        for channel in range(3):
            changes += any(a.texture[channel] != b.texture[channel] or
                           [s.key() for s in a.steps[channel]] != [s.key() for s in b.steps[channel]]
                           for a, b in zip(ref, group))
        unvaried += changes < 2
    m["returns"] = unvaried

    # Held lead notes a semitone above a tone of the chord under them.
    rubs = 0
    for b in bars:
        for n in b.lead:
            if n.length >= 4:
                held = {c for c in b.chords[n.start:n.start + n.length]}
                rubs += any(compose.semitone_above_chord_tone(n.pitch, compose.chord_pcs(c)) for c in held)
    m["rubs"] = rubs

    # Bass bars with a 3rd, a passing or an approach note.
    coloured = played = 0
    for b in loop:
        if not b.bass or b.texture[1] in "-P":
            continue
        played += 1
        for n in b.bass:
            chord = b.chords[n.start]
            pc, quality = compose.parse_chord(chord)
            tones = compose.chord_pcs(chord)
            if n.pitch % 12 == (pc + compose.QUALITIES[quality][1]) % 12 or n.pitch % 12 not in tones:
                coloured += 1
                break
    m["bass colour %"] = 100.0 * coloured / max(1, played)

    # Register of the arpeggios: how far the lowest tone moves per chord change.
    moves = []
    previous = None
    for b in loop:
        for s, low, _shape in b.chord_lows:
            if previous is not None and b.chords[s] != previous[1]:
                moves.append(abs(low - previous[0]))
            previous = (low, b.chords[s])
    m["chord move"] = sum(moves) / max(1, len(moves))

    # Harmonic rhythm: some chords last two bars or more, some bars hold two.
    long_chord = any(a.chords[0] == a.chords[-1] == b.chords[0] == b.chords[-1] for a, b in zip(loop, loop[1:]))
    split_bar = any(b.chords[0] != b.chords[-1] for b in loop)
    m["harm rhythm"] = int(long_chord and split_bar)
    m["cadence"] = int(roman(tune, loop[-1].chords[-1])[0] in (7, 10, 5))

    # The committed song, as the device plays it.
    song = os.path.join(HERE, "track%02d.ahx" % number)
    m["bytes"] = os.path.getsize(song)
    levels = tool_loudness(tool, song)
    mix = levels["mix"]
    m["LUFS"] = mix["lufs"]
    m["LRA LU"] = mix["lra"]
    m["true peak"] = mix["tp"]
    m["DC dBFS"] = mix["dc"]
    m["clipped"] = levels["clipped"]
    lead = levels["channel 4"]["lufs"]
    others = [levels["channel %d" % c]["lufs"] for c in (1, 2, 3) if levels["channel %d" % c]]
    m["lead over LU"] = lead - max(others)
    m["chords under LU"] = lead - levels["channel 3"]["lufs"]

    pcm = render(tool, song)
    intro_samples = restart * ticks * SAMPLES_PER_TICK
    bar_samples = ticks * SAMPLES_PER_TICK
    per_bar = [meter.loudness(pcm[intro_samples + i * bar_samples:intro_samples + (i + 1) * bar_samples])
               for i in range(len(loop))]
    per_bar = [v for v in per_bar if v > -70]
    m["bar span dB"] = max(per_bar) - min(per_bar)

    # The loop's second pass plays tick for tick as its first.
    intro_ticks = restart * ticks
    loop_ticks = len(loop) * ticks
    lines = trace(tool, song, intro_ticks + 2 * loop_ticks)
    m["clean loop"] = int(lines[intro_ticks:intro_ticks + loop_ticks] == lines[intro_ticks + loop_ticks:])

    # For the set.
    shared["rhythms"][number] = {compose.strip_of([(n.start, n.length) for n in b.lead]) for b in loop if b.lead}
    shared["progressions"][number] = tuple(roman(tune, b.chords[0]) for b in loop[:4])
    shared["tempo"][number] = sum(tune.speeds)
    shared["keys"][number] = (tune.key_pc, tune.scale_name)
    shared["kb"][number] = any(b.texture[1] == "K" for b in loop)
    shared["instruments"][number] = [i.text(0).split("\n", 1)[1] for i in tune.instruments]
    return m


def main():
    args = sys.argv[1:]
    tool = None
    check = False
    chosen = []
    while args:
        a = args.pop(0)
        if a == "--ahx":
            tool = args.pop(0)
        elif a == "--check":
            check = True
        else:
            chosen.append(int(a))
    tool = find_tool(tool)
    chosen = chosen or list(range(1, len(compose.TUNES) + 1))
    meter = Ebur128()
    shared = {k: {} for k in ("rhythms", "progressions", "tempo", "keys", "kb", "instruments")}
    results = {}
    for number in range(1, len(compose.TUNES) + 1):
        if number in chosen or check:
            results[number] = measure(compose.TUNES[number - 1], number, tool, meter, shared)
    # Instruments of its own: defined by no other tune.
    for number in results:
        others = [t for n, ts in shared["instruments"].items() if n != number for t in ts]
        results[number]["own instr"] = sum(t not in others for t in shared["instruments"][number])

    columns = list(TARGETS)
    misses = []
    print("%-3s %-16s %-11s %5s %-6s" % ("#", "title", "mood", "BPM", "key") +
          "".join(" %*s" % (max(6, len(c)), c) for c in columns))
    for number in sorted(results):
        tune = compose.TUNES[number - 1]
        m = results[number]
        bpm = 3000.0 / sum(tune.speeds)
        key = tune.key + ("m" if tune.scale_name == "minor" else " dor" if tune.scale_name == "dorian" else "")
        row = "%-3d %-16s %-11s %5.1f %-6s" % (number, tune.title[:16], tune.mood[:11], bpm, key)
        for c in columns:
            value = m[c]
            ok = TARGETS[c](value)
            text = ("%.1f" % value if isinstance(value, float) else str(value)) + ("" if ok else "!")
            row += " %*s" % (max(6, len(c)), text)
            if not ok:
                misses.append("tune %d %s: %s = %s" % (number, tune.title, c, value))
        if number in chosen:
            print(row)

    # The set as a whole.
    all_rhythms = {}
    for number, rs in shared["rhythms"].items():
        for r in rs:
            all_rhythms.setdefault(r, set()).add(number)
    crowded = [r for r, ns in all_rhythms.items() if len(ns) > 3]
    progressions = list(shared["progressions"].values())
    tempos = list(shared["tempo"].values())
    set_rows = [
        ("one-bar lead rhythms", len(all_rhythms), len(all_rhythms) >= 30),
        ("rhythms in more than three tunes", len(crowded), not crowded),
        ("tunes sharing an A progression", len(progressions) - len(set(progressions)),
         len(set(progressions)) == len(progressions)),
        ("most tunes at one tempo", max(tempos.count(t) for t in tempos), max(tempos.count(t) for t in tempos) <= 2),
        ("distinct keys", len(set(shared["keys"].values())), len(set(shared["keys"].values())) == len(shared["keys"])),
        ("tunes with kick and bass in one channel", sum(shared["kb"].values()), sum(shared["kb"].values()) >= 3),
    ]
    if check or len(results) == len(compose.TUNES):
        print()
        for label, value, ok in set_rows:
            print("set: %-40s %s%s" % (label, value, "" if ok else "  (missed)"))
            if not ok:
                misses.append("set: %s = %s" % (label, value))
    if check and misses:
        print("\n".join(["", "targets missed:"] + misses))
        sys.exit(1)


if __name__ == "__main__":
    main()
