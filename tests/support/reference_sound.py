"""The references the end-to-end tests compare the musicdisk's sound with:
what the native `ahx` tool and `render_track_sequence` render."""

import os
import subprocess
import tempfile
import wave

import numpy


def render_song(ahx, song, seconds):
    """What `ahx render SONG` gives, as 16-bit samples."""
    with tempfile.TemporaryDirectory() as scratch:
        path = os.path.join(scratch, "track.wav")
        subprocess.run([ahx, "render", song, "--seconds", str(seconds), "-o", path],
                       check=True, stdout=subprocess.DEVNULL)
        with wave.open(path) as w:
            return numpy.frombuffer(w.readframes(w.getnframes()), dtype="<i2")


def render_sequence(tool, steps):
    """The last track of a series of track changes, rendered by
    `render_track_sequence` with the state the earlier ones leave: steps are
    (track, blocks)."""
    with tempfile.TemporaryDirectory() as scratch:
        path = os.path.join(scratch, "sequence.raw")
        subprocess.run([tool, path] + ["%d:%d" % step for step in steps], check=True)
        return numpy.fromfile(path, dtype="<i2")


def first_difference(played, reference, silence_inserted=False):
    """Where `played` first parts from `reference`, or len(played) when it
    never does. With `silence_inserted`, runs of zeros that the sound driver
    put into the stream are skipped: under Wine the capture takes samples
    faster than real time, and when the program falls behind under load,
    Wine's driver fills the gap with silence, after which the stream goes on
    unchanged. Any other difference counts."""
    i = j = 0
    while i < len(played):
        n = min(len(played) - i, len(reference) - j)
        if n <= 0:
            return i
        differ = numpy.nonzero(played[i:i + n] != reference[j:j + n])[0]
        if not len(differ):
            i += n
            j += n
            continue
        at = i + int(differ[0])
        j += int(differ[0])
        if not silence_inserted or played[at] != 0:
            return at
        # The inserted zeros, less those the reference has itself.
        zeros = int(numpy.argmax(played[at:] != 0)) if numpy.any(played[at:] != 0) else len(played) - at
        own = int(numpy.argmax(reference[j:] != 0)) if numpy.any(reference[j:] != 0) else len(reference) - j
        if own >= zeros:
            return at
        i = at + zeros
        j += own
    return len(played)
