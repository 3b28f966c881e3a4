#!/usr/bin/python3
"""The musicdisk's web page as a visitor meets it: build/web served over
local HTTP, opened in headless Chromium (WebGL on SwiftShader, Web Audio at
44100 Hz), driven with the mouse and keyboard through the DevTools protocol,
seen through screenshots and heard through the blocks the page queues to Web
Audio, which it keeps for the test when its address has ?record.

    web_musicdisk_test.py --page build/web --ahx NATIVE_AHX \\
        --sequence NATIVE_RENDER_TRACK_SEQUENCE --out DIR [unittest options]

Screenshots and Chromium's log stay under DIR. The native tools it compares
against are built first when they are missing from the native-release tree.
"""

import argparse
import base64
import functools
import os
import sys
import time
import unittest

import numpy
from PIL import Image

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
sys.path.insert(0, os.path.join(ROOT, "scripts"))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
import native_tools  # noqa: E402
import reference_sound  # noqa: E402
from disk_under_test import Disk  # noqa: E402
from waiting import wait_for  # noqa: E402
from web_musicdisk import CHROMIUM, Chromium, PageServer  # noqa: E402

ARGS = None
# The disk the page plays.
DISK = None
SERVER = None

SAMPLE_RATE = 44100
BLOCK = 1764  # samples in one 40 ms block
WINDOW = 256
PAGE_BACKGROUND = (0x2b, 0x34, 0x40)
# Window points of the zones, and one on the skin that is in none.
NEXT = (190, 56)
PREVIOUS = (93, 56)
PAUSE = (122, 56)
RESUME = (155, 56)
CLOSE = (36, 62)
PLAIN_SKIN = (128, 20)
# Window regions of the scene (x, y from the top left, right and bottom exclusive).
CUBE_CORNER = (3, 178, 75, 250)
CORNER_IMAGE = (128, 121, 256, 249)
FIRST_TITLE_ROW = (95, 80, 175, 89)
FLOWN_TITLE = (60, 99, 210, 116)
WINDOW_PLACE = "[document.getElementById('canvas').offsetLeft, document.getElementById('canvas').offsetTop]"
# Keeps the handlers the page gives the Media Session in window.mediaActions,
# so the test can act as the system's media controls do.
RECORD_MEDIA_ACTIONS = """
window.mediaActions = {};
if (navigator.mediaSession) {
  var setActionHandler = navigator.mediaSession.setActionHandler.bind(navigator.mediaSession);
  navigator.mediaSession.setActionHandler = function (action, handler) {
    setActionHandler(action, handler);
    if (handler) mediaActions[action] = handler; else delete mediaActions[action];
  };
}
"""
MEDIA_STATE = ("(function (m) { return [document.title, navigator.mediaSession.playbackState, m && m.title, "
               "m && m.artist, m && m.artwork.map(function (a) { return a.src; })]; })"
               "(navigator.mediaSession.metadata)")


def inside(point, box):
    return box[0] <= point[0] < box[2] and box[1] <= point[1] < box[3]


def red(colour):
    r, g, b = colour[:3]
    return r > 150 and g < 90 and b < 90


def bright_pixels(image, box, level=150):
    return sum(1 for y in range(box[1], box[3]) for x in range(box[0], box[2])
               if min(image.getpixel((x, y))[:3]) > level)


@functools.lru_cache(maxsize=None)
def skin_image():
    return Image.open(DISK.skin).convert("RGBA")


def scene_faults(image):
    """What is wrong in a shot of the window, as messages: the skin must be
    exact where it is opaque, apart from what is drawn over it; the cube's
    two passes of noise at the brightness the Windows program gives them
    (its cube averages 109 to 113 of 255: a wrong texture environment washes
    it out, missing noise darkens it); the ring's red characters in the
    cube's corner and nowhere else."""
    faults = []
    skin = skin_image()
    wrong = [(x, y) for y in range(WINDOW) for x in range(WINDOW)
             if skin.getpixel((x, y))[3] == 255 and not inside((x, y), CUBE_CORNER)
             and not inside((x, y), CORNER_IMAGE)
             and image.getpixel((x, y)) != skin.getpixel((x, y))[:3]]
    if wrong:
        faults.append("%d opaque skin pixels are not the skin, first %s" % (len(wrong), wrong[:10]))
    cube = [p for p in image.crop(CUBE_CORNER).getdata() if max(p) > 60 and not red(p)]
    if len(cube) <= 800:
        faults.append("the cube is missing")
    elif not DISK.own_skin:
        # The bounds hold for the shipped skin; the ring's red blends with another skin's colours.
        mean = sum(sum(p) for p in cube) / (3 * len(cube))
        if not 100 < mean < 118:
            faults.append("the cube's pixels average %.0f" % mean)
    ring = [(x, y) for y in range(WINDOW) for x in range(WINDOW) if red(image.getpixel((x, y)))]
    if sum(1 for p in ring if inside(p, CUBE_CORNER)) <= 20:
        faults.append("no ring in the corner")
    outside = [p for p in ring if not inside(p, CUBE_CORNER) and not red(skin.getpixel(p))]
    if outside:
        faults.append("red outside the cube's corner: %s" % outside[:10])
    return faults


def render_track(track, seconds):
    return reference_sound.render_song(ARGS.ahx, DISK.songs[track - 1], seconds)


def render_sequence(steps):
    return reference_sound.render_sequence(ARGS.sequence, steps)


first_difference = reference_sound.first_difference


class Page:
    """One Chromium with the musicdisk's page open."""

    def __init__(self, test, query="?record", autoplay=True, before_load=None):
        self.test = test
        self.out = test.out
        self.browser = Chromium(os.path.join(self.out, "chromium.log"), autoplay=autoplay)
        self.browser.open(SERVER.url + query, before_load)
        wait_for(lambda: self.evaluate("!!(window.Module && Module.shell && Module.shell.firstFrameDrawn)"),
                 60, "the first frame")
        self.left, self.top = self.evaluate(WINDOW_PLACE)

    def evaluate(self, expression):
        return self.browser.evaluate(expression)

    def close(self):
        self.browser.close()

    def click(self, point, times=1):
        self.browser.move(self.left + point[0], self.top + point[1])
        self.browser.click(self.left + point[0], self.top + point[1], times=times)

    def key(self, name, **kwargs):
        self.browser.key(name, **kwargs)

    def sound(self):
        """Blocks queued and played in the current opening of the sink."""
        return self.evaluate("[Module.shell.sound.sent, Module.shell.sound.played]")

    def wait_for_sound(self, segments, played_blocks, timeout=30):
        """Waits until the sink has been opened `segments` times and the last
        opening has played `played_blocks` blocks to their end."""
        def ready():
            count, played = self.evaluate("[Module.shell.sound.segments.length, Module.shell.sound.played]")
            return count == segments and played >= played_blocks
        wait_for(ready, timeout, "%d blocks of opening %d to be played" % (played_blocks, segments))

    def segments(self):
        """The samples handed to Web Audio in each opening of the sink, as
        16-bit PCM: each float must be a 16-bit sample divided by 32768."""
        found = []
        for segment in self.evaluate("Module.shell.sound.recorded()"):
            self.test.assertEqual(len(segment["samples"]) * 3 // 4, segment["blocks"] * BLOCK * 4)
            floats = numpy.frombuffer(base64.b64decode(segment["samples"]), dtype="<f4").astype(numpy.float64)
            scaled = floats * 32768
            if not (numpy.all(scaled == numpy.round(scaled)) and numpy.all(numpy.abs(scaled + 0.5) <= 32768)):
                raise AssertionError("a sample handed to Web Audio is not a 16-bit sample / 32768")
            found.append(scaled.astype("<i2"))
        return found

    def shot(self, name):
        path = self.browser.screenshot(os.path.join(self.out, name + ".png"),
                                       (self.left, self.top, WINDOW, WINDOW))
        return Image.open(path).convert("RGB")

    def errors(self):
        return [entry for entry in self.browser.console if entry[0] in ("error", "exception", "assert")]


class WebMusicdiskTest(unittest.TestCase):
    def setUp(self):
        self.out = os.path.join(ARGS.out, self._testMethodName)
        os.makedirs(self.out, exist_ok=True)
        self.page = None

    def tearDown(self):
        if self.page is not None:
            self.page.close()

    def open(self, **kwargs):
        self.page = Page(self, **kwargs)
        return self.page

    def assert_sequence(self, tracks):
        """Each opening of the sink is the next track of `tracks`, sample for
        sample, played from the state the openings before it left: the page
        says how many blocks it queued of each, so each is rendered exactly."""
        segments = self.page.segments()
        self.assertEqual(len(segments), len(tracks), "openings of the sink")
        steps = []
        for index, (segment, track) in enumerate(zip(segments, tracks)):
            count = len(segment) // BLOCK
            steps.append((track, count))
            reference = render_sequence(steps)
            self.assertEqual(first_difference(segment, reference), len(segment),
                             "opening %d (%d blocks) is not track %d as the program plays it"
                             % (index, count, track))

    def test_window_is_centred_shaped_draggable_and_plays_the_first_tune(self):
        page = self.open()
        width, height = page.evaluate("[innerWidth, innerHeight]")
        self.assertEqual((page.left, page.top), ((width - WINDOW) // 2, (height - WINDOW) // 2))
        self.assertTrue(page.evaluate("document.getElementById('hint').hidden"),
                        "the hint stays while the sound runs")

        screen = page.browser.screenshot(os.path.join(self.out, "page.png"))
        screen = Image.open(screen).convert("RGB")
        # Outside the outline the page shows through, inside is the skin.
        self.assertEqual(screen.getpixel((page.left, page.top)), PAGE_BACKGROUND)
        self.assertEqual(screen.getpixel((page.left + WINDOW - 1, page.top + WINDOW - 1)), PAGE_BACKGROUND)
        self.assertNotEqual(screen.getpixel((page.left + PLAIN_SKIN[0], page.top + PLAIN_SKIN[1])),
                            PAGE_BACKGROUND)
        # A press outside the outline is the page's, not the window's.
        page.browser.drag(page.left + 1, page.top + 1, 50, 50)
        self.assertEqual(page.evaluate(WINDOW_PLACE), [page.left, page.top])

        x, y = page.left, page.top
        page.browser.drag(x + PLAIN_SKIN[0], y + PLAIN_SKIN[1], 60, 40)
        self.assertEqual(page.evaluate(WINDOW_PLACE), [x + 60, y + 40])
        page.browser.drag(x + 60 + PLAIN_SKIN[0], y + 40 + PLAIN_SKIN[1], -90, 15)
        self.assertEqual(page.evaluate(WINDOW_PLACE), [x - 30, y + 55])
        page.browser.screenshot(os.path.join(self.out, "moved.png"))

        # However far the pointer goes, the point held stays in the page, as
        # the mouse stays on the screen.
        page.browser.drag(x - 30 + PLAIN_SKIN[0], y + 55 + PLAIN_SKIN[1], -2000, -2000)
        self.assertEqual(page.evaluate(WINDOW_PLACE), [-PLAIN_SKIN[0], -PLAIN_SKIN[1]])
        page.browser.drag(0, 0, 3000, 3000)
        self.assertEqual(page.evaluate(WINDOW_PLACE), [width - 1 - PLAIN_SKIN[0], height - 1 - PLAIN_SKIN[1]])
        page.browser.screenshot(os.path.join(self.out, "held_in_the_corner.png"))
        # A page made too small for where the window was brings it back; one
        # that leaves most of the window in sight leaves it where it was put.
        page.browser.resize(200, 150)
        wait_for(lambda: page.evaluate(WINDOW_PLACE) == [0, 0], 10, "the window to come back into the page")
        page.browser.screenshot(os.path.join(self.out, "small_page.png"))
        page.browser.resize()
        page.browser.drag(PLAIN_SKIN[0], PLAIN_SKIN[1], -60, 0)
        page.browser.resize(width - 100, height - 100)
        self.assertEqual(page.evaluate(WINDOW_PLACE), [-60, 0])
        page.browser.resize()

        # The first ten seconds handed to Web Audio are the first song as `ahx render` renders it.
        wait_for(lambda: page.sound()[0] * BLOCK >= 10 * SAMPLE_RATE, 30, "ten seconds to be queued")
        self.assertEqual(page.evaluate("Module.shell.sound.path"), "worklet")
        queued = page.segments()[0][:10 * SAMPLE_RATE]
        reference = render_track(1, 10)
        self.assertEqual(len(queued), len(reference))
        self.assertEqual(first_difference(queued, reference), len(reference),
                         "the sound parts from the first song as `ahx render` renders it")
        self.assertGreater(page.sound()[1], 200, "Web Audio has not played what was queued")
        self.assertEqual(page.evaluate("document.title"), DISK.titles[0] + " \u2013 " + DISK.name)
        self.assertEqual(page.errors(), [])

    def test_zones_and_arrow_keys_change_tracks_and_pause_holds_the_sound(self):
        page = self.open()
        page.wait_for_sound(1, 10)
        page.click(NEXT)
        page.wait_for_sound(2, 10)
        self.assertEqual(page.evaluate("Module.shell.sound.path"), "worklet")

        page.click(PAUSE)
        wait_for(self.sound_settled(page), 10, "the sound to be held")
        paused_at = page.sound()
        # Held means held for a while, not just between two looks.
        time.sleep(1.5)
        self.assertEqual(page.sound(), paused_at, "sound went on while paused")
        page.click(RESUME)
        wait_for(lambda: page.sound()[1] >= paused_at[1] + 20, 10, "the sound to go on")

        for step in ("ArrowDown", "ArrowUp", "ArrowUp"):
            page.key(step)
            page.wait_for_sound(page.evaluate("Module.shell.sound.segments.length"), 5)
        page.click(PREVIOUS)
        page.wait_for_sound(6, 5)
        wait_for(lambda: bright_pixels(page.shot("tenth_track"), FLOWN_TITLE) > 100, 20,
                 "the tenth title to fly out", interval=0.25)
        self.assertEqual(page.evaluate("Module.shell.sound.segments.length"), 6)
        self.assert_sequence([1, 2, 3, 2, 1, 10])
        self.assertEqual(page.errors(), [])

    @staticmethod
    def sound_settled(page):
        """A condition: no block has been queued or played for a while."""
        def settled():
            before = page.sound()
            time.sleep(0.6)
            return page.sound() == before
        return settled

    def test_media_session_and_media_keys_change_tracks_and_pause(self):
        page = self.open(before_load=RECORD_MEDIA_ACTIONS)
        page.wait_for_sound(1, 5)
        self.assertEqual(sorted(page.evaluate("Object.keys(mediaActions)")),
                         ["nexttrack", "pause", "play", "previoustrack", "stop"])
        icon = page.evaluate("document.getElementById('icon').href")
        self.assertTrue(icon.startswith("blob:"), "no icon: " + icon)

        def shows(title, state):
            self.assertEqual(page.evaluate(MEDIA_STATE),
                             [title + " \u2013 " + DISK.name, state, title, DISK.name, [icon]])

        def act(action):
            page.evaluate("mediaActions[%r]({action: %r}); true" % (action, action))

        shows(DISK.titles[0], "playing")
        openings = 1
        for step, title in ((lambda: act("nexttrack"), DISK.titles[1]),
                            (lambda: act("previoustrack"), DISK.titles[0]),
                            (lambda: page.key("MediaTrackNext"), DISK.titles[1]),
                            (lambda: page.key("MediaTrackPrevious"), DISK.titles[0])):
            step()
            openings += 1
            page.wait_for_sound(openings, 5)
            shows(title, "playing")
        # One press that reaches the page as a key and as an action acts once.
        page.key("MediaTrackNext", kinds=("rawKeyDown",))
        act("nexttrack")
        page.key("MediaTrackNext", kinds=("keyUp",))
        page.wait_for_sound(6, 5)
        shows(DISK.titles[1], "playing")

        def holds(pause, name):
            pause()
            wait_for(self.sound_settled(page), 10, "the sound to be held after " + name)
            shows(DISK.titles[1], "paused")

        def goes_on(resume, name):
            played = page.sound()[1]
            resume()
            wait_for(lambda: page.sound()[1] >= played + 10, 10, "the sound to go on after " + name)
            shows(DISK.titles[1], "playing")

        holds(lambda: act("pause"), "the pause action")
        goes_on(lambda: act("play"), "the play action")
        for key in ("MediaPlayPause", "Space"):
            holds(lambda: page.key(key), key)
            goes_on(lambda: page.key(key), key)
        holds(lambda: page.key("MediaStop"), "the stop key")
        act("stop")
        act("pause")
        goes_on(lambda: act("play"), "the play action after stop")
        holds(lambda: act("stop"), "the stop action")
        goes_on(lambda: page.key("MediaPlayPause"), "play/pause after stop")
        self.assertFalse(page.evaluate("document.getElementById('keys').hidden"), "no line tells the keys")
        self.assertEqual(page.evaluate("Module.shell.sound.segments.length"), 6)
        self.assert_sequence([1, 2, 1, 2, 1, 2])
        self.assertEqual(page.errors(), [])

    def test_scene_shows_the_skin_the_titles_and_the_ring(self):
        page = self.open()
        page.browser.move(page.left + PLAIN_SKIN[0], page.top + PLAIN_SKIN[1])
        page.browser.move(page.left + PLAIN_SKIN[0] + 1, page.top + PLAIN_SKIN[1])
        # The titles behind the screen: the selected one flies out of the list.
        first = wait_for(lambda: (lambda image: image if bright_pixels(image, FIRST_TITLE_ROW) == 0
                                  and bright_pixels(image, FLOWN_TITLE) > 100 else None)(page.shot("first_tune")),
                         20, "the first title to fly out", interval=0.25)

        # After a change the first title is back in the list and the second
        # has flown out; its flight takes two seconds of the page's clock.
        changed_at = time.monotonic()
        page.key("ArrowDown")
        second = wait_for(lambda: (lambda image: image if time.monotonic() - changed_at > 2.2
                                   and bright_pixels(image, FIRST_TITLE_ROW) > 30
                                   and bright_pixels(image, FLOWN_TITLE) > 100 else None)(page.shot("second_tune")),
                          20, "the second title to fly out", interval=0.25)

        def cube_changed():
            later = page.shot("second_tune_later")
            changed = sum(1 for y in range(CUBE_CORNER[1], CUBE_CORNER[3])
                          for x in range(CUBE_CORNER[0], CUBE_CORNER[2])
                          if second.getpixel((x, y)) != later.getpixel((x, y)))
            return later if changed > 200 else None
        later = wait_for(cube_changed, 10, "the cube's corner to change", interval=0.1)
        for image in (first, second, later):
            self.assertEqual(scene_faults(image), [])
        self.assertEqual(page.errors(), [])

    def test_a_lost_webgl_context_is_restored_while_the_sound_goes_on(self):
        page = self.open()
        page.wait_for_sound(1, 5)
        page.evaluate("window.contextLoss = document.getElementById('canvas').getContext('webgl')"
                      ".getExtension('WEBGL_lose_context'); contextLoss.loseContext(); true")
        lost = "document.getElementById('canvas').getContext('webgl').isContextLost()"
        wait_for(lambda: page.evaluate(lost), 10, "the context to be lost")
        self.assertNotEqual(scene_faults(page.shot("lost")), [], "the scene shows without a context")
        played = page.sound()[1]

        def drawn_again():
            shot = page.shot("restored")
            return not scene_faults(shot) and shot

        page.evaluate("contextLoss.restoreContext(); true")
        restored = wait_for(drawn_again, 30, "the scene to be drawn again")
        self.assertGreater(bright_pixels(restored, FLOWN_TITLE), 100, "no title flown out")
        wait_for(lambda: page.shot("restored_later").crop(CUBE_CORNER).tobytes()
                 != restored.crop(CUBE_CORNER).tobytes(), 10, "the cube to turn on")
        # The sound went on through it all, in its one opening.
        wait_for(lambda: page.sound()[1] >= played + 25, 10, "the sound to go on")
        self.assert_sequence([1])
        self.assertEqual(page.errors(), [])

    def test_twenty_seconds_and_twenty_track_changes_without_an_error(self):
        page = self.open()
        page.wait_for_sound(1, 5)
        tracks = [1]
        begun = time.monotonic()
        for change in range(20):
            if change % 4 == 0:
                page.click(NEXT)
                tracks.append(tracks[-1] % 10 + 1)
            elif change % 4 == 1:
                page.click(PREVIOUS)
                tracks.append((tracks[-1] - 2) % 10 + 1)
            elif change % 4 == 2:
                page.key("ArrowUp")
                tracks.append((tracks[-1] - 2) % 10 + 1)
            else:
                page.key("ArrowDown")
                tracks.append(tracks[-1] % 10 + 1)
            time.sleep(max(0.0, begun + (change + 1) - time.monotonic()))
        time.sleep(max(0.0, begun + 20 - time.monotonic()))
        page.wait_for_sound(21, 5)
        self.assertEqual(page.evaluate("Module._veltrane_frames_drawn()") > 100, True, "frames stopped")
        self.assertEqual(page.errors(), [])
        self.assert_sequence(tracks)

    def test_escape_and_the_close_zone_end_the_page(self):
        for ending in ("Escape", CLOSE):
            page = self.open()
            page.wait_for_sound(1, 2)
            if ending == "Escape":
                page.key("Escape")
            else:
                page.click(CLOSE)
            wait_for(lambda: page.evaluate("Module.shell.ended"), 5, "the page to end")
            frames = page.evaluate("Module._veltrane_frames_drawn()")
            time.sleep(0.5)
            self.assertEqual(page.evaluate("Module._veltrane_frames_drawn()"), frames, "frames go on")
            self.assertEqual(page.evaluate("[document.getElementById('canvas').hidden, document.getElementById('ended').hidden, "
                                           "Module.shell.sound.context.state]"), [True, False, "closed"])
            # The system's media controls no longer offer a tune that has gone.
            self.assertEqual(page.evaluate(MEDIA_STATE), [DISK.name, "none", None, None, None])
            self.assertEqual(page.errors(), [])
            page.close()
            self.page = None

    def test_first_click_starts_the_sound_where_the_browser_waits_for_one(self):
        page = self.open(autoplay=False)
        state = page.evaluate("Module.shell.sound.context.state")
        if state == "running":
            self.skipTest("this Chromium starts sound without a gesture")
        self.assertFalse(page.evaluate("document.getElementById('hint').hidden"), "no hint before the sound")
        page.browser.screenshot(os.path.join(self.out, "waiting_for_a_click.png"))
        # Of three quick clicks on the next zone, the first only starts the
        # sound; the two after it, which come while the browser is still
        # starting it, each change the track.
        page.click(NEXT, times=3)
        wait_for(lambda: page.evaluate("Module.shell.sound.context.state") == "running", 10, "the sound to start")
        page.wait_for_sound(3, 5)
        self.assertTrue(page.evaluate("document.getElementById('hint').hidden"))
        self.assert_sequence([1, 2, 3])
        self.assertEqual(page.errors(), [])
        page.close()

        # Escape is no gesture to the browser: before the sound it still quits.
        page = self.page = self.open(autoplay=False)
        page.key("Escape")
        wait_for(lambda: page.evaluate("Module.shell.ended"), 5, "the page to end")
        self.assertEqual(page.errors(), [])

    def test_script_processor_plays_the_same_blocks(self):
        page = self.open(query="?record&scriptprocessor")
        page.wait_for_sound(1, 50)
        self.assertEqual(page.evaluate("Module.shell.sound.path"), "script processor")
        queued = page.segments()[0]
        reference = render_track(1, len(queued) / SAMPLE_RATE + 1)
        self.assertEqual(first_difference(queued, reference), len(queued))
        self.assertEqual(page.errors(), [])


def main():
    global ARGS, SERVER, DISK
    parser = argparse.ArgumentParser()
    parser.add_argument("--page", required=True)
    parser.add_argument("--ahx", required=True)
    parser.add_argument("--sequence", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--pack", help="the content pack the disk was made from (default: the shipped disk's)")
    ARGS, rest = parser.parse_known_args()
    DISK = Disk(ARGS.pack)
    native_tools.ensure(ARGS.ahx, ARGS.sequence)
    for needed in (CHROMIUM, os.path.join(ARGS.page, "index.html")):
        if not os.path.exists(needed):
            print("missing %s (scripts/setup.sh installs Chromium; the web preset builds the page)" % needed)
            return 1
    os.makedirs(ARGS.out, exist_ok=True)
    with PageServer(os.path.abspath(ARGS.page)) as server:
        SERVER = server
        program = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
