"""The web page in headless Chromium (WebGL on SwiftShader, Web Audio at
44100 Hz), as the scenarios drive it: the DevTools protocol for the mouse,
keys and screenshots, and the blocks the page queues to Web Audio, which it
keeps when its address has ?record."""

import base64
import os

import numpy
from PIL import Image

from waiting import steady, wait_for
from web_musicdisk import CHROMIUM, Chromium, PageServer

BLOCK = 1764
KEYS = {"Escape": "Escape", "Up": "ArrowUp", "Down": "ArrowDown", "Space": "Space", "MediaNext": "MediaTrackNext",
        "MediaPrevious": "MediaTrackPrevious", "MediaPlayPause": "MediaPlayPause", "MediaStop": "MediaStop"}
WINDOW_PLACE = "[document.getElementById('canvas').offsetLeft, document.getElementById('canvas').offsetTop]"
MEDIA_STATE = ("(function (m) { return [document.title, navigator.mediaSession.playbackState, m && m.title, "
               "m && m.artist, m && m.artwork.map(function (a) { return a.src; })]; })"
               "(navigator.mediaSession.metadata)")


class ChromiumDriver:
    name = "chromium"
    # The page says how many blocks it queued: the sound must be exactly them.
    exact_sound = True
    skin_tolerance = 0
    screen_edges = False
    held_keys = False
    threads = False
    closes_from_outside = False
    page = True
    background = (0x2b, 0x34, 0x40)

    def __init__(self, args):
        for needed in (CHROMIUM, os.path.join(args.page, "index.html")):
            if not os.path.exists(needed):
                raise SystemExit("missing %s (scripts/setup.sh installs Chromium; the web preset builds the page)"
                                 % needed)
        self.server = PageServer(os.path.abspath(args.page)).__enter__()
        self.browser = None

    def close(self):
        self.server.__exit__()

    def start(self, out, title, query="?record", autoplay=True, before_load=None):
        self.out, self.title = out, title
        self.browser = Chromium(os.path.join(out, "chromium.log"), autoplay=autoplay)
        self.browser.open(self.server.url + query, before_load)
        wait_for(lambda: self.evaluate("!!(window.Module && Module.shell && Module.shell.firstFrameDrawn)"),
                 60, "the first frame")
        return self

    def stop(self):
        if self.browser is not None:
            self.browser.close()
            self.browser = None

    def evaluate(self, expression):
        return self.browser.evaluate(expression)

    def errors(self):
        return [entry for entry in self.browser.console if entry[0] in ("error", "exception", "assert")]

    # -- the window

    def screen_size(self):
        return tuple(self.evaluate("[innerWidth, innerHeight]"))

    def place(self):
        return tuple(self.evaluate(WINDOW_PLACE))

    def size(self):
        return tuple(self.evaluate("[document.getElementById('canvas').offsetWidth, "
                                   "document.getElementById('canvas').offsetHeight]"))

    def screenshot(self, name):
        return Image.open(self.browser.screenshot(os.path.join(self.out, name + ".png"))).convert("RGB")

    def shot(self, name):
        path = self.browser.screenshot(os.path.join(self.out, name + ".png"), self.place() + self.size())
        return Image.open(path).convert("RGB")

    def frames(self):
        return self.evaluate("Module._veltrane_frames_drawn()")

    def frames_going(self, name, timeout=10):
        drawn = self.frames()
        wait_for(lambda: self.frames() > drawn + 10, timeout, "frames to be drawn (%s)" % name)

    # -- input

    def _at(self, point):
        x, y = self.place()
        return x + point[0], y + point[1]

    def move_pointer(self, point):
        self.browser.move(*self._at(point))

    def click(self, point, times=1):
        self.move_pointer(point)
        self.browser.click(*self._at(point), times=times)

    def key(self, name, times=1):
        for _ in range(times):
            self.browser.key(KEYS[name])

    def drag(self, grab, through):
        self.browser.drag(*self._at(grab), through)

    # -- sound

    def openings(self):
        return self.evaluate("Module.shell.sound.segments.length")

    def played(self):
        return self.evaluate("Module.shell.sound.played") * BLOCK

    def progress(self):
        """Blocks queued and played in the current opening: a pause holds both."""
        return self.evaluate("[Module.shell.sound.sent, Module.shell.sound.played]")

    def wait_for_sound(self, openings, seconds, timeout=30):
        blocks = seconds * 25

        def ready():
            count, played = self.evaluate("[Module.shell.sound.segments.length, Module.shell.sound.played]")
            return count == openings and played >= blocks
        wait_for(ready, timeout, "%d blocks of opening %d to be played" % (blocks, openings))

    def segments(self):
        """The samples handed to Web Audio in each opening, as 16-bit PCM:
        each float must be a 16-bit sample divided by 32768."""
        found = []
        for segment in self.evaluate("Module.shell.sound.recorded()"):
            floats = numpy.frombuffer(base64.b64decode(segment["samples"]), dtype="<f4").astype(numpy.float64)
            if len(floats) != segment["blocks"] * BLOCK:
                raise AssertionError("%d samples in %d blocks" % (len(floats), segment["blocks"]))
            scaled = floats * 32768
            if not (numpy.all(scaled == numpy.round(scaled)) and numpy.all(numpy.abs(scaled + 0.5) <= 32768)):
                raise AssertionError("a sample handed to Web Audio is not a 16-bit sample / 32768")
            found.append(scaled.astype("<i2"))
        return found

    def media_state(self):
        """What the tab and the system's media controls show: the tab's
        title, the playback state, and the tune's title, artist and artwork."""
        return self.evaluate(MEDIA_STATE)

    # -- the end

    def ended(self):
        return self.evaluate("Module.shell.ended")

    def end_faults(self):
        """The frames and the sound stop, the page says it has ended, and the
        system's media controls no longer offer a tune that has gone."""
        wait_for(steady(self.frames, 0.5), 10, "the frames to stop")
        faults = []
        shown = self.evaluate("[document.getElementById('canvas').hidden, document.getElementById('ended').hidden, "
                              "Module.shell.sound.context.state]")
        if shown != [True, False, "closed"]:
            faults.append("canvas hidden, end line hidden, sound: %s" % shown)
        media = self.media_state()
        if media != [self.title, "none", None, None, None]:
            faults.append("media state %s" % media)
        return faults
