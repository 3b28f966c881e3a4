#!/usr/bin/python3
"""Writes the packs the tests make disks from.

    make_test_packs.py OUT_DIR

OUT_DIR/good: ten short synthetic songs in the text form, titles of its own
(one with a letter beyond ASCII), the shipped skin tinted blue and no outline, corner or icon of its own, so the outline is made from the
skin and the rest comes from the shipped disk.

OUT_DIR/bad: one problem of every kind the check finds, all in one pack;
EXPECTED lists what the check says of each.
"""

import os
import struct
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))

NAME = "Pixel Harbour"
COPYRIGHT = "Copyright 2026 the Pixel Harbour test crew"
TITLES = ["Caf\u00e9 Nocturne", "Quartz Echo", "Maple Circuit", "Drift Lantern", "Saltwater Bits",
          "Morning Relay", "Silver Gate", "Hollow Pine", "Amber Loop", "Last Train Home"]
NOTES = ["C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"]
WAVES = ["tri", "saw", "sqr", "sqr", "saw", "tri", "sqr", "saw", "tri", "sqr"]
# A melody in scale degrees of a major scale, one per step; None rests.
MELODY = [0, None, 2, 4, 7, None, 4, 2, 5, None, 4, 2, 0, None, None, None]
MAJOR = [0, 2, 4, 5, 7, 9, 11, 12]


def note(semitones):
    octave, name = divmod(semitones, 12)
    return "%s%d" % (NOTES[name], octave + 1)


def song(index, silent=False):
    """Song `index`: the melody in its own key and waveform over a bass
    line, four positions with the melody transposed."""
    key = 24 + index
    lines = ['title "%s"' % TITLES[index % len(TITLES)], "track-length 16", "positions"]
    for position, shift in enumerate((0, 5, 7, 0)):
        lines.append("  %2d  1 %+d  2 %+d  0 +0  0 +0" % (position, shift, shift))
    lines.append("track 0")
    lines += ["  %2d --- -- 000" % step for step in range(16)]
    lines.append("track 1")
    for step, degree in enumerate(MELODY):
        if degree is None or silent:
            lines.append("  %2d --- -- 000" % step)
        else:
            lines.append("  %2d %s 01 000" % (step, note(key + MAJOR[degree])))
    lines.append("track 2")
    for step in range(16):
        played = step % 4 == 0 and not silent
        lines.append("  %2d %s 000" % (step, note(key - 12) + " 02" if played else "--- --"))
    for number, (name, wave, volume) in enumerate(((WAVES[index % 10], WAVES[index % 10], 48),
                                                   ("bass", "tri", 56)), 1):
        lines += ['instrument %d "%s"' % (number, name), "    volume %d" % volume, "    wave-length 3",
                  "    attack 1 64", "    decay 8 40", "    sustain 20", "    release 8 0", "    filter 0 0 0",
                  "    square 0 0 0", "    vibrato 0 0 0", "    hard-cut 0", "    playlist 1",
                  "          0 %s +0   000 000" % wave]
    return "\n".join(lines) + "\n"


def targa(width, height, bits, pixel=b"\x40\x80\xc0\xff"):
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, width, height, bits, 8 if bits == 32 else 0)
    return header + pixel[:bits // 8] * (width * height)


def region(rects):
    data = struct.pack("<IIIIiiii", 32, 1, len(rects), 16 * len(rects), 0, 0, 256, 256)
    return data + b"".join(struct.pack("<iiii", *r) for r in rects)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb" if isinstance(data, bytes) else "w", **({} if isinstance(data, bytes) else
                                                                  {"encoding": "utf-8"})) as f:
        f.write(data)


def make_good(out):
    with open(os.path.join(ROOT, "resources", "art", "skin.tga"), "rb") as f:
        skin = bytearray(f.read())
    # A cold blue over the shipped skin's warm metal.
    for i in range(18, 18 + 256 * 256 * 4, 4):
        blue, green, red = skin[i:i + 3]
        skin[i:i + 3] = bytes((min(255, blue * 3 // 2 + 40), green, red * 2 // 3))
    write(os.path.join(out, "art", "skin.tga"), bytes(skin))
    tracks = []
    for index, title in enumerate(TITLES):
        write(os.path.join(out, "songs", "song%02d.ahxt" % (index + 1)), song(index))
        tracks.append("track\tsongs/song%02d.ahxt\t%s" % (index + 1, title))
    write(os.path.join(out, "scroll.txt"), "Pixel Harbour, ten small tunes made by the tests ... \u00a9 2026   ")
    write(os.path.join(out, "musicdisk.txt"), "\n".join(
        ["# A disk made by the tests: its own songs, titles, texts and skin.", "name\t" + NAME,
         "copyright\t" + COPYRIGHT, "scroll\tscroll.txt", "skin\tart/skin.tga"]
        + tracks) + "\n")


# What the check says of the bad pack: (file and line, words of the message).
EXPECTED = [
    ("musicdisk.txt", "12 tracks; a disk has exactly 10"),
    ("musicdisk.txt:6", "the close button"),
    ("musicdisk.txt:7", "at 32 bits; the skin is 256x256"),
    ("musicdisk.txt:8", "at 24 bits; the corner is 128x128"),
    ("musicdisk.txt:9", "is not an icon file"),
    ("musicdisk.txt:10", "'broken.ahx' does not load"),
    ("musicdisk.txt:11", "'quiet.ahxt' is silent"),
    ("typo.ahxt:3", "unknown keyword 'positons'"),
    ("musicdisk.txt:13", "the track has no title"),
    ("musicdisk.txt:14", "not in the 8-bit code page"),
    ("musicdisk.txt:15", "pixels wide; the title list shows 256"),
    ("musicdisk.txt:16", "'missing.ahx' does not exist"),
    ("scroll.txt:1", "'\u2192' (column 5) has no glyph"),
    ("scroll.txt:1", "'\u00ff' (column 7) has no glyph"),
]


def make_bad(out):
    write(os.path.join(out, "broken.ahx"), b"THX\x00 not a song at all")
    write(os.path.join(out, "quiet.ahxt"), song(0, silent=True))
    write(os.path.join(out, "typo.ahxt"), song(1).replace("positions", "positons", 1))
    write(os.path.join(out, "fine.ahxt"), song(2))
    write(os.path.join(out, "scroll.txt"), "Bad \u2192 \u00ff text\n")
    write(os.path.join(out, "small.tga"), targa(128, 128, 32))
    write(os.path.join(out, "flat.tga"), targa(128, 128, 24))
    write(os.path.join(out, "not-an-icon.ico"), b"just text\n")
    # Everything but the close button's last column.
    write(os.path.join(out, "holes.rgn"), region([(0, 0, 256, 59), (0, 59, 40, 67), (41, 59, 256, 67),
                                                  (0, 67, 256, 256)]))
    lines = ["name\tA Bad Pack", "scroll\tscroll.txt", "# line 3", "# line 4", "# line 5",
             "outline\tholes.rgn", "skin\tsmall.tga", "corner\tflat.tga", "icon\tnot-an-icon.ico",
             "track\tbroken.ahx\tBroken", "track\tquiet.ahxt\tQuiet", "track\ttypo.ahxt\tTypo",
             "track\tfine.ahxt", "track\tfine.ahxt\t\u6771\u4eac Nights",
             "track\tfine.ahxt\t" + "A Title Far Too Long For The List Of Titles",
             "track\tmissing.ahx\tMissing"] + ["track\tfine.ahxt\tFine %d" % i for i in range(5)]
    write(os.path.join(out, "musicdisk.txt"), "\n".join(lines) + "\n")


def main_into(out):
    make_good(os.path.join(out, "good"))
    make_bad(os.path.join(out, "bad"))


def main():
    main_into(sys.argv[1])


if __name__ == "__main__":
    main()
