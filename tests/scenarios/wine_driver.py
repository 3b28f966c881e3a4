"""The Windows program under Wine on a virtual display, as the scenarios
drive it: xdotool for the mouse and keys, ImageMagick for screenshots, and
an ALSA file sink that keeps what each opening of the sound device played."""

import os
import subprocess

import numpy

from waiting import wait_for
from wine_musicdisk import SAMPLE_RATE, Musicdisk, VirtualDisplay

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
KEYS = {"Escape": "Escape", "Up": "Up", "Down": "Down", "Space": "space", "MediaNext": "XF86AudioNext",
        "MediaPrevious": "XF86AudioPrev", "MediaPlayPause": "XF86AudioPlay"}


class WineDriver:
    name = "wine"
    # Wine's sound driver pads with silence when the program falls behind
    # and when the device closes, and nobody outside knows how many queued
    # blocks a track change dropped: the sound is compared allowing for both.
    exact_sound = False
    # The skin reaches the screen through Wine's OpenGL, which may round a
    # channel one step either way.
    skin_tolerance = 1
    # What only this shell has.
    screen_edges = True     # the window goes past the screen's edges, as on Windows
    held_keys = True        # a held key's auto-repeat runs while the test looks
    threads = True          # the playback thread is a thread of the system
    closes_from_outside = True
    page = False

    def __init__(self, args):
        self.exe, self.prefix = args.exe, os.path.abspath(args.prefix)
        subprocess.run(["bash", os.path.join(ROOT, "scripts", "wine_prefix.sh"), self.prefix, "--virtual-display"],
                       check=True)
        self.display = VirtualDisplay().start()
        self.background = VirtualDisplay.DESKTOP
        self.disk = None

    def close(self):
        subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=self.prefix), stderr=subprocess.DEVNULL)
        self.display.stop()

    def start(self, out, title):
        self.out = out
        self.disk = Musicdisk(self.exe, self.prefix, self.display, out, "musicdisk", title)
        self.disk.start()
        self.disk.wait_for_window()
        return self

    def stop(self):
        if self.disk is None:
            return
        if self.disk.process is not None and os.path.exists(self.disk.capture_path):
            self.disk.save_wav(os.path.join(self.out, "played.wav"))
        self.disk.stop()

    def errors(self):
        return []

    # -- the window

    def screen_size(self):
        return self.display.width, self.display.height

    def place(self):
        return self.disk.geometry()[:2]

    def size(self):
        return self.disk.geometry()[2:]

    def screenshot(self, name):
        return self.disk.screenshot(os.path.join(self.out, name + ".png"))

    def shot(self, name):
        return self.disk.window_shot(os.path.join(self.out, name + ".png"))

    def frames_going(self, name, timeout=10):
        """Waits until what shows of the window changes between two shots:
        the frame loop runs. Whatever lies off the screen is black in both."""
        before = numpy.asarray(self.shot(name))
        wait_for(lambda: int(numpy.any(before != numpy.asarray(self.shot(name + "_later")), axis=2).sum()) > 200,
                 timeout, "the window's frames to change (%s)" % name, interval=0.05)

    # -- input

    def move_pointer(self, point):
        self.disk.move_pointer(*point)

    def click(self, point, times=1):
        if times == 1:
            self.disk.click(*point)
        else:
            self.disk.clicks(*point, times, 2)

    def key(self, name, times=1):
        self.disk.key(KEYS[name], repeat=times, delay_ms=2 if times > 1 else 12)

    def hold_key(self, name, presses):
        """Presses a key as auto-repeat would, 33 times a second, and answers
        at once with the process pressing it."""
        return self.disk.keys_in_background(KEYS[name], presses, 30)

    def drag(self, grab, through):
        """Presses at window point `grab`, moves through screen points, lets go."""
        self.disk.drag_through(*grab, through)

    def request_close(self):
        self.disk.request_close()

    # -- sound

    def openings(self):
        return len(self.disk.segment_paths())

    def played(self):
        """Samples the last opening has played so far."""
        return os.path.getsize(self.disk.segment_paths()[-1]) // 2

    progress = played

    def wait_for_sound(self, openings, seconds, timeout=60):
        """Waits until the device has been opened `openings` times and the
        last opening has played `seconds` of sound."""
        def ready():
            paths = self.disk.segment_paths()
            return len(paths) >= openings and os.path.getsize(paths[openings - 1]) >= seconds * SAMPLE_RATE * 2
        wait_for(ready, timeout, "opening %d of the device with %.1f s of sound" % (openings, seconds))

    def segments(self):
        """What each opening played, without the silence the driver closes it with."""
        found = []
        for samples in self.disk.segments():
            nonzero = numpy.nonzero(samples)[0]
            found.append(samples[:int(nonzero[-1]) + 1] if len(nonzero) else samples[:0])
        return found

    def playback_threads(self):
        return self.disk.playback_threads()

    # -- the end

    def ended(self):
        return not self.disk.running()

    def end_faults(self):
        """What is wrong once it has ended: a failing exit code, processes left behind."""
        faults = [] if self.disk.process.returncode == 0 else ["exit code %d" % self.disk.process.returncode]
        return faults + ["processes left behind: %s" % pid for pid in self.disk.program_processes()]
