#!/usr/bin/python3
"""Measures the musicdisk's web page in headless Chromium:

    bench/web_page_in_chromium.py [--dir build/web] [--seconds 20]

prints the page's size, the time to its first frame, its frame rate and the
CPU time of its audio path, one line per figure.
"""

import argparse
import gzip
import os
import sys
import time

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path.insert(0, os.path.join(ROOT, "scripts"))
from waiting import wait_for  # noqa: E402
from web_musicdisk import Chromium, PageServer  # noqa: E402


def thread_cpu_seconds(root):
    """CPU seconds (user and system) of every thread of Chromium and its
    child processes, keyed by (process kind, pid, thread name)."""
    ticks = os.sysconf("SC_CLK_TCK")
    found = {}
    for pid, kind in chromium_processes(root).items():
        try:
            tasks = os.listdir("/proc/%d/task" % pid)
        except OSError:
            continue
        for task in tasks:
            try:
                with open("/proc/%d/task/%s/stat" % (pid, task)) as f:
                    stat = f.read()
            except OSError:
                continue
            name = stat[stat.index("(") + 1:stat.rindex(")")]
            fields = stat.rsplit(")", 1)[1].split()
            key = (kind, pid, name)
            found[key] = found.get(key, 0.0) + (int(fields[11]) + int(fields[12])) / ticks
    return found


def chromium_processes(root):
    """The browser process and all its descendants, with the kind of each."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                parent = int(f.read().rsplit(")", 1)[1].split()[1])
            # Chromium rewrites its children's command lines into one string.
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                command = f.read().replace(b"\0", b" ").split()
        except OSError:
            continue
        children.setdefault(parent, []).append((int(entry), command))
    found = {root: "browser"}
    stack = [root]
    while stack:
        pid = stack.pop()
        for child, command in children.get(pid, []):
            kind = next((a.split(b"=", 1)[1].decode() for a in command if a.startswith(b"--type=")), "other")
            sub = next((a.split(b"=", 1)[1].decode() for a in command
                        if a.startswith(b"--utility-sub-type=")), "")
            found[child] = kind + (" " + sub if sub else "")
            stack.append(child)
    return found


def page_size(directory):
    sizes = {}
    for name in ("index.html", "veltrane-music.js", "veltrane-music.wasm"):
        with open(os.path.join(directory, name), "rb") as f:
            data = f.read()
        sizes[name] = (len(data), len(gzip.compress(data, 9)))
    return sizes


def measure(directory, seconds):
    sizes = page_size(directory)
    for name, (raw, packed) in sizes.items():
        print("%-20s %8d bytes, %7d gzip-compressed" % (name, raw, packed))
    print("%-20s %8d bytes, %7d gzip-compressed" % ("the page", sum(s[0] for s in sizes.values()),
                                                    sum(s[1] for s in sizes.values())))
    with PageServer(directory) as server, Chromium() as browser:
        browser.open(server.url)
        first = wait_for(lambda: browser.evaluate("window.Module && Module.shell && Module.shell.firstFrameDrawn"),
                         60, "the first frame")
        print("first frame drawn    %.0f ms after the page began loading" % first)
        wait_for(lambda: browser.evaluate("Module.shell.sound.played > 0"), 30, "the sound to start")
        probe = "[performance.now(), Module._veltrane_frames_drawn(), Module._veltrane_sound_ms(), " \
                "Module.shell.sound.underrun, Module.shell.sound.path]"
        before = browser.evaluate(probe)
        cpu_before = thread_cpu_seconds(browser.process.pid)
        time.sleep(seconds)
        after = browser.evaluate(probe)
        cpu_after = thread_cpu_seconds(browser.process.pid)
        elapsed = (after[0] - before[0]) / 1000
        print("frames per second    %.1f over %.0f s" % ((after[1] - before[1]) / elapsed, elapsed))
        print("sound path           %s, %d samples of underrun" % (after[4], after[3] - before[3]))
        print("rendering the sound  %.2f%% of one core (the page's thread: replay, mixing, queueing)"
              % (100 * (after[2] - before[2]) / 1000 / elapsed))
        used = {}
        for key, value in cpu_after.items():
            used[key] = value - cpu_before.get(key, 0.0)
        audio = {}
        for (kind, pid, name), value in used.items():
            if "audio" in kind.lower() or "audio" in name.lower():
                audio[(kind, name)] = audio.get((kind, name), 0.0) + value
        for (kind, name), value in sorted(audio.items()):
            if value > 0:
                print("  %-48s %5.1f%% of one core" % ("%s: %s" % (kind, name), 100 * value / elapsed))
        by_kind = {}
        for (kind, pid, name), value in used.items():
            by_kind[kind] = by_kind.get(kind, 0.0) + value
        for kind, value in sorted(by_kind.items()):
            print("process %-42s %5.1f%% of one core" % (kind, 100 * value / elapsed))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--dir", default=os.path.join(ROOT, "build", "web"))
    parser.add_argument("--seconds", type=float, default=20)
    args = parser.parse_args()
    measure(args.dir, args.seconds)
    return 0


if __name__ == "__main__":
    sys.exit(main())
