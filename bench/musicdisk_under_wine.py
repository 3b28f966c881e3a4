#!/usr/bin/python3
"""Measures the Windows musicdisk under Wine on a virtual display:

- start-up: from launch to the window shown and to the first sound sample;
- track changes: from a key press to the new song's first block reaching the
  sound device (each change opens the device afresh, and the capture starts a
  new file with its first block);
- CPU: the playback thread's and the frame loop's share of one core while
  the scene animates, and the playback thread's CPU per second of sound.

    bench/musicdisk_under_wine.py EXE [--prefix build/wine-prefix-xvfb] [--changes 20]

It prints one line per figure. The sound sink writes as fast as it is fed,
so the program renders faster than real time here; the CPU per second of
sound is the figure that carries over to a real sound card.
"""

import argparse
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
from wine_musicdisk import (PLAYBACK_THREAD_NAME, SAMPLE_RATE, Musicdisk, VirtualDisplay,  # noqa: E402
                            wait_for)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("exe")
    parser.add_argument("--prefix", default="build/wine-prefix-xvfb")
    parser.add_argument("--changes", type=int, default=20, help="track changes to time (default 20)")
    parser.add_argument("--cpu-seconds", type=float, default=5.0, help="how long to watch the CPU (default 5)")
    args = parser.parse_args()
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    subprocess.run(["bash", os.path.join(root, "scripts", "wine_prefix.sh"), args.prefix, "--virtual-display"],
                   check=True)

    with VirtualDisplay() as display:
        disk = Musicdisk(args.exe, args.prefix, display, os.path.join(root, "build", "bench-wine"), "bench")
        try:
            disk.start()
            disk.wait_for_window()
            shown = time.monotonic() - disk.started_at
            wait_for(lambda: disk.captured_bytes() > 0, 60, "the first sound", interval=0.001)
            sounding = time.monotonic() - disk.started_at
            print("start-up: window shown after %.0f ms, first sound sample after %.0f ms"
                  % (shown * 1000, sounding * 1000))

            disk.move_pointer(128, 20)
            disk.wait_for_sound(2.0)
            delays = []
            for change in range(args.changes):
                files = len(disk.segment_paths())
                pressed = time.monotonic()
                disk.key("Down")

                def new_block():
                    paths = disk.segment_paths()
                    return len(paths) > files and os.path.getsize(paths[files]) > 0
                wait_for(new_block, 30, "the new song's first block", interval=0.001)
                delays.append((time.monotonic() - pressed) * 1000)
                time.sleep(0.3)
            print("track change: key press to the new song's first block: median %.0f ms, worst %.0f ms "
                  "over %d changes" % (statistics.median(delays), max(delays), len(delays)))

            time.sleep(1.0)
            names = disk.thread_names()
            before = disk.cpu_seconds_by_thread()
            sound_before = disk.captured_bytes()
            wall = time.monotonic()
            time.sleep(args.cpu_seconds)
            after = disk.cpu_seconds_by_thread()
            wall = time.monotonic() - wall
            sound = (disk.captured_bytes() - sound_before) / (2 * SAMPLE_RATE)
            used = {tid: after[tid] - before.get(tid, 0.0) for tid in after}
            playback = sum(cpu for tid, cpu in used.items() if names.get(tid) == PLAYBACK_THREAD_NAME)
            frame_loop = used.get(disk.process.pid, 0.0)
            print("cpu: playback thread %.1f %% of one core (%.1f ms per second of sound, %.1f s of sound in "
                  "%.1f s), frame loop %.1f %%, whole program %.1f %%"
                  % (100 * playback / wall, 1000 * playback / max(sound, 1e-9), sound, wall,
                     100 * frame_loop / wall, 100 * sum(used.values()) / wall))
            disk.key("Escape")
            disk.wait_exit(30)
        finally:
            disk.stop()
            subprocess.run(["wineserver", "-k"], env=disk.env(), stderr=subprocess.DEVNULL)


if __name__ == "__main__":
    sys.exit(main())
