#!/usr/bin/python3
"""The musicdisk as a user meets it, in every shell: the Windows program
under Wine on a virtual display, or the web page in headless Chromium.
Each scenario clicks, presses keys and drags as a user does, looks at
screenshots, and compares the sound, sample for sample, with what the
native `ahx` and `render_track_sequence` render.

    musicdisk_scenarios.py --exe veltrane-music.exe --prefix WINEPREFIX ...   (Wine)
    musicdisk_scenarios.py --page build/web ...                               (Chromium)
        ... --ahx NATIVE_AHX --sequence NATIVE_RENDER_TRACK_SEQUENCE --out DIR
        [--pack PACK] [unittest options]

Screenshots, sound and logs of every scenario stay under DIR. The native
tools are built first when they are missing from the native-release tree.
What a shell cannot do (a page has no screen edge to drag past, Wine no
media session) is a capability of its driver, and the scenarios that need
it are skipped elsewhere.
"""

import argparse
import functools
import os
import sys
import time
import unittest

import numpy
from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts"))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import musicdisk_pack  # noqa: E402
import native_tools  # noqa: E402
import reference_sound  # noqa: E402
from disk_under_test import Disk  # noqa: E402
from waiting import steady, wait_for  # noqa: E402

ARGS = None
DISK = None
DRIVER = None

SAMPLE_RATE = 44100
BLOCK = 1764  # samples in one 40 ms block
WINDOW = 256
# The click zones as the skin draws them, half-open rectangles in window
# pixels; the zones test holds them against the program.
ZONES = musicdisk_pack.zones()
# A point of the skin in no zone, to grab and to hover.
PLAIN_SKIN = (128, 20)
# Regions of the scene (left, top, right, bottom exclusive): what is drawn
# over the skin, where the first title of the list sits while another is
# selected, and where a selected title ends its flight.
CUBE_CORNER = (3, 178, 75, 250)
CORNER_IMAGE = (128, 121, 256, 249)
FIRST_TITLE_ROW = (95, 80, 175, 89)
FLOWN_TITLE = (60, 99, 210, 116)
# Quitting must not keep the user waiting.
QUIT_SECONDS = 1.0


def corners(zone):
    """The pixels just inside a zone's top left and bottom right corners."""
    return (zone[0], zone[1]), (zone[2] - 1, zone[3] - 1)


def beside(zone):
    """One pixel outside the middle of each edge of a zone."""
    cx, cy = (zone[0] + zone[2]) // 2, (zone[1] + zone[3]) // 2
    return [(zone[0] - 1, cy), (zone[2], cy), (cx, zone[1] - 1), (cx, zone[3])]


def step(track, by):
    return (track - 1 + by) % 10 + 1


def pixels(image):
    return numpy.asarray(image, dtype=numpy.int32)[:, :, :3]


def box(array, region):
    return array[region[1]:region[3], region[0]:region[2]]


def bright_pixels(image, region, level=150):
    """Pixels whose every channel is above `level`: title text, not the dim logo behind it."""
    return int((box(pixels(image), region).min(axis=2) > level).sum())


def red(array):
    return (array[:, :, 0] > 150) & (array[:, :, 1] < 90) & (array[:, :, 2] < 90)


@functools.lru_cache(maxsize=None)
def skin():
    return numpy.asarray(Image.open(DISK.skin).convert("RGBA"), dtype=numpy.int32)


def scene_faults(image):
    """What is wrong in a shot of the window: the skin must be exact where it
    is opaque (within the shell's tolerance), apart from what is drawn over
    it; the cube's two passes of noise at the brightness the Windows program
    gives them (its cube averages 109 to 113 of 255: a wrong texture
    environment washes it out, missing noise darkens it); the ring's red
    characters in the cube's corner and nowhere else."""
    faults = []
    shot, opaque = pixels(image), skin()[:, :, 3] == 255
    for region in (CUBE_CORNER, CORNER_IMAGE):
        box(opaque, region)[:] = False
    wrong = numpy.argwhere(opaque & (numpy.abs(shot - skin()[:, :, :3]).max(axis=2) > DRIVER.skin_tolerance))
    if len(wrong):
        faults.append("%d opaque skin pixels are not the skin, first (y, x) %s" % (len(wrong), wrong[:5].tolist()))
    cube = box(shot, CUBE_CORNER)[(box(shot, CUBE_CORNER).max(axis=2) > 60) & ~box(red(shot), CUBE_CORNER)]
    if len(cube) <= 800:
        faults.append("the cube is missing")
    elif not DISK.own_skin and not 100 < cube.mean() < 118:
        # The bounds hold for the shipped skin; the ring's red blends with another skin's colours.
        faults.append("the cube's pixels average %.0f" % cube.mean())
    ring = red(shot)
    if box(ring, CUBE_CORNER).sum() <= 20:
        faults.append("no ring in the corner")
    box(ring, CUBE_CORNER)[:] = False
    outside = numpy.argwhere(ring & ~red(skin()))
    if len(outside):
        faults.append("red outside the cube's corner, (y, x) %s" % outside[:5].tolist())
    return faults


def render_track(track, seconds):
    return reference_sound.render_song(ARGS.ahx, DISK.songs[track - 1], seconds)


def first_difference(played, reference):
    return reference_sound.first_difference(played, reference, silence_inserted=not DRIVER.exact_sound)


def only_where(capability):
    """Skips a scenario in a shell whose driver lacks `capability`."""
    def wrap(test):
        @functools.wraps(test)
        def run(self):
            if not getattr(DRIVER, capability):
                self.skipTest("not in %s" % DRIVER.name)
            test(self)
        return run
    return wrap


class Scenarios(unittest.TestCase):
    def setUp(self):
        self.out = os.path.join(ARGS.out, self._testMethodName)
        os.makedirs(self.out, exist_ok=True)
        self.started = False

    def tearDown(self):
        if self.started:
            errors = DRIVER.errors()
            DRIVER.stop()
            self.assertEqual(errors, [], "errors reported while it ran")

    def start(self, **options):
        self.started = True
        DRIVER.start(self.out, DISK.name, **options)
        # Under Wine the keyboard goes to the window under the pointer.
        DRIVER.move_pointer(PLAIN_SKIN)
        return DRIVER

    def restart(self, **options):
        DRIVER.stop()
        return self.start(**options)

    def quits_within(self, action, seconds=QUIT_SECONDS):
        action()
        begun = time.monotonic()
        wait_for(DRIVER.ended, 30, "the end")
        took = time.monotonic() - begun
        self.assertLess(took, seconds, "it took %.2f s to end" % took)
        self.assertEqual(DRIVER.end_faults(), [])

    def held(self, pause, what, seconds=0.5):
        """Pauses and waits until the sound has stood still for `seconds`."""
        pause()
        wait_for(steady(DRIVER.progress, seconds), 20 + seconds, "the sound to stand still after " + what)

    def goes_on(self, resume, what, seconds=1.0):
        played = DRIVER.played()
        resume()
        wait_for(lambda: DRIVER.played() >= played + seconds * SAMPLE_RATE, 30, "the sound to go on after " + what)

    def flown(self, name, first_in_its_row, since=0.0):
        """A shot once the selected title has flown out (no sooner than
        `since`), with the list's first title in its row or away from it."""
        def shown():
            image = DRIVER.shot(name)
            in_row = bright_pixels(image, FIRST_TITLE_ROW)
            return (time.monotonic() > since and (in_row > 30 if first_in_its_row else in_row == 0)
                    and bright_pixels(image, FLOWN_TITLE) > 100 and image)
        return wait_for(shown, 20, "the title to fly out (%s)" % name, interval=0.25)

    def cube_turned(self, before, name):
        def changed():
            later = DRIVER.shot(name)
            return (numpy.any(box(pixels(later), CUBE_CORNER) != box(pixels(before), CUBE_CORNER), axis=2).sum()
                    > 200 and later)
        return wait_for(changed, 10, "the cube's corner to change", interval=0.1)

    def assert_sequence(self, tracks):
        """Each opening of the sound is the next track of `tracks`, sample for
        sample, played from the state the openings before it left. The page
        says how many blocks it queued of each; under Wine up to 16 queued
        blocks were dropped unheard at a change, so each count the device
        could have reached is tried."""
        segments = DRIVER.segments()
        self.assertEqual(len(segments), len(tracks), "openings of the sound")
        steps = []
        for index, (segment, track) in enumerate(zip(segments, tracks)):
            blocks = -(-len(segment) // BLOCK)
            for dropped in range(1 if DRIVER.exact_sound or not steps else 40):
                tried = steps[:-1] + [(steps[-1][0], steps[-1][1] + dropped)] if steps else []
                reference = reference_sound.render_sequence(ARGS.sequence, tried + [(track, blocks + 2)])
                if first_difference(segment, reference) == len(segment):
                    steps = tried
                    break
            else:
                self.fail("opening %d (%d samples) is not track %d as the program plays it"
                          % (index, len(segment), track))
            steps.append((track, blocks))

    def test_window_is_centred_shaped_draggable_and_plays_the_first_tune(self):
        d = self.start()
        x, y = d.place()
        width, height = d.screen_size()
        self.assertEqual(d.size(), (WINDOW, WINDOW))
        self.assertEqual((x, y), ((width - WINDOW) // 2, (height - WINDOW) // 2))

        # Under Wine the window shows before its first frame is drawn.
        screen = wait_for(lambda: (lambda shot: shot.getpixel((x + PLAIN_SKIN[0], y + PLAIN_SKIN[1]))
                                   != d.background and shot)(d.screenshot("screen")), 30, "the first frame")
        self.assertEqual(screen.getpixel((x, y)), d.background, "outside the outline shows what is behind")
        self.assertEqual(screen.getpixel((x + WINDOW - 1, y + WINDOW - 1)), d.background)

        # A press outside the outline is not the window's; one on the skin drags it.
        for grab, by, to in (((1, 1), (50, 50), (x, y)), (PLAIN_SKIN, (60, 40), (x + 60, y + 40)),
                             (PLAIN_SKIN, (-90, 15), (x - 30, y + 55))):
            at = d.place()
            d.drag(grab, [(at[0] + grab[0] + by[0], at[1] + grab[1] + by[1])])
            wait_for(lambda: d.place() == to, 10, "the window at %s (it is at %s)" % (to, d.place()))
        d.screenshot("moved")

        d.wait_for_sound(1, 6.0)
        played = d.segments()[0]
        reference = render_track(1, 8)
        self.assertGreaterEqual(len(played), 5 * SAMPLE_RATE)
        n = min(len(played), len(reference))
        self.assertEqual(first_difference(played[:n], reference[:n]), n,
                         "the sound parts from the first song as `ahx render` renders it")
        if d.page:
            self.assertEqual(d.evaluate("Module.shell.sound.path"), "worklet")
            self.assertTrue(d.evaluate("document.getElementById('hint').hidden"), "the hint stays while it plays")
            self.assertEqual(d.evaluate("document.title"), DISK.titles[0] + " \u2013 " + DISK.name)
        self.quits_within(lambda: d.key("Escape"))

    def test_zones_reach_their_edges_and_no_further_and_pause_holds_the_sound(self):
        """ZONES is the program's: a click just inside a zone's corners acts,
        one just beside any of its edges does nothing."""
        d = self.start()
        d.wait_for_sound(1, 1.0)
        # Had a click beside a zone acted, the sound would stop, change
        # track or end.
        played = d.played()
        for name in ("next", "previous", "pause", "close"):
            for point in beside(ZONES[name]):
                d.click(point)
        wait_for(lambda: d.openings() > 1 or d.played() >= played + SAMPLE_RATE, 30,
                 "the sound to go on after clicks beside the zones")
        self.assertEqual(d.openings(), 1, "a click beside a zone changed the track")

        tracks = [1]
        for name, corner, by in (("next", 0, 1), ("previous", 1, -1), ("next", 1, 1), ("previous", 0, -1)):
            d.click(corners(ZONES[name])[corner])
            tracks.append(step(tracks[-1], by))
            d.wait_for_sound(len(tracks), 1.0)

        pause, resume = corners(ZONES["pause"]), corners(ZONES["resume"])
        self.held(lambda: d.click(pause[0]), "the pause zone")
        for point in beside(ZONES["resume"]):
            d.click(point)
        self.held(lambda: d.click(pause[1]), "a second pause and clicks beside the resume zone", 1.5)
        self.goes_on(lambda: d.click(resume[1]), "the resume zone")
        self.held(lambda: d.click(pause[1]), "the pause zone's other corner")
        self.goes_on(lambda: d.click(resume[0]), "the resume zone's other corner")
        self.assert_sequence(tracks)
        self.quits_within(lambda: d.click(corners(ZONES["close"])[0]))

    def test_arrow_and_media_keys_change_tracks_and_pause(self):
        d = self.start()
        d.wait_for_sound(1, 1.0)
        tracks = [1]
        for key, by in (("Down", 1), ("Up", -1), ("Up", -1), ("MediaNext", 1), ("MediaPrevious", -1)):
            d.key(key)
            tracks.append(step(tracks[-1], by))
            d.wait_for_sound(len(tracks), 1.0)
        # Toggles: a press that acted twice would leave the sound going.
        for key in ("MediaPlayPause", "Space"):
            self.held(lambda: d.key(key), key)
            self.goes_on(lambda: d.key(key), key)
        # A media key that acted twice would have opened the sound once more.
        self.assert_sequence(tracks)
        if d.closes_from_outside:
            self.quits_within(d.request_close)

    def test_scene_shows_the_skin_the_titles_and_the_ring(self):
        d = self.start()
        # A last pointer movement of one pixel keeps the title's ghosts still.
        d.move_pointer((PLAIN_SKIN[0] + 1, PLAIN_SKIN[1]))
        first = self.flown("first_tune", first_in_its_row=False)
        # After a change the first title is back in the list and the second
        # has flown out; its flight takes two seconds of the program's clock.
        changed_at = time.monotonic()
        d.key("Down")
        second = self.flown("second_tune", first_in_its_row=True, since=changed_at + 2.2)
        later = self.cube_turned(second, "second_tune_later")
        for image in (first, second, later):
            self.assertEqual(scene_faults(image), [])
        self.quits_within(lambda: d.key("Escape"))

    def test_drags_past_the_edges_leave_the_window_in_reach_and_running(self):
        d = self.start()
        d.frames_going("started")
        x, y = d.place()
        width, height = d.screen_size()
        grab_x, grab_y = x + PLAIN_SKIN[0], y + PLAIN_SKIN[1]

        def dropped(name, expected):
            wait_for(lambda: d.place() == expected, 10, "the window at %s after %s (it is at %s)"
                     % (expected, name, d.place()))
            # No move loop is left running: the pointer moves without the window.
            d.move_pointer((PLAIN_SKIN[0] + 30, PLAIN_SKIN[1] + 120))
            d.frames_going(name.replace(" ", "_"))
            self.assertEqual(d.place(), expected, "the window followed the pointer after " + name)

        if d.screen_edges:
            # As on Windows, the window goes past the screen's edges with the pointer.
            d.drag(PLAIN_SKIN, [(0, grab_y), (grab_x + 60, grab_y)])
            dropped("a drag past the left edge", (x + 60, y))
            d.drag(PLAIN_SKIN, [(grab_x + 60, 0), (grab_x + 60, grab_y + 30)])
            dropped("a drag past the top edge", (x + 60, y + 30))
            d.drag(PLAIN_SKIN, [(0, grab_y + 30)])
            off_x = x + 60 - (grab_x + 60)
            dropped("a drag off the left edge", (off_x, y + 30))
            d.drag((160, 20), [(off_x + 160 + 300, grab_y + 30)])
            dropped("a drag back on screen", (off_x + 300, y + 30))
        else:
            # The point held stays in the page, as the mouse stays on a screen.
            d.drag(PLAIN_SKIN, [(grab_x - 2000, grab_y - 2000)])
            dropped("a drag far up and left", (-PLAIN_SKIN[0], -PLAIN_SKIN[1]))
            d.drag(PLAIN_SKIN, [(3000, 3000)])
            dropped("a drag far down and right", (width - 1 - PLAIN_SKIN[0], height - 1 - PLAIN_SKIN[1]))
            d.screenshot("held_in_the_corner")
            # A page made too small for where the window was brings it back;
            # one that leaves most of the window in sight leaves it there.
            d.browser.resize(200, 150)
            dropped("a smaller page", (0, 0))
            d.screenshot("small_page")
            d.browser.resize()
            d.drag(PLAIN_SKIN, [(PLAIN_SKIN[0] - 60, PLAIN_SKIN[1])])
            d.browser.resize(width - 100, height - 100)
            dropped("a page a little smaller", (-60, 0))
            d.browser.resize()
        d.shot("after_the_drags")
        self.quits_within(lambda: d.key("Escape"))

    def test_escape_ends_it_at_once_after_floods_of_clicks_and_keys(self):
        d = self.start()
        d.wait_for_sound(1, 1.0)
        d.click(corners(ZONES["next"])[0], times=100)
        d.key("Down", times=200)
        d.click(corners(ZONES["previous"])[1], times=100)
        d.move_pointer(PLAIN_SKIN)
        self.quits_within(lambda: d.key("Escape"))

    @only_where("held_keys")
    def test_a_held_arrow_key_keeps_the_frames_coming_and_plays_the_track_it_ends_on(self):
        d = self.start()
        d.wait_for_sound(1, 1.0)
        # Three seconds of auto-repeat.
        presses = d.hold_key("Down", 99)
        try:
            d.frames_going("while_held", timeout=2.5)
            self.assertIsNone(presses.poll(), "the frames came only after the key was let go")
        finally:
            presses.wait(timeout=60)
        # 99 steps from the first track: the tenth plays, from its start.
        wait_for(lambda: d.played() >= 2.5 * SAMPLE_RATE, 30, "the last track's sound")
        if d.threads:
            self.assertTrue(wait_for(lambda: d.playback_threads() == 1, 10, "one playback thread"))
        self.assertEqual(self.closest_track(d.segments()[-1]), 10)
        self.quits_within(lambda: d.key("Escape"))

    def closest_track(self, samples, seconds=2.0):
        """The track whose opening, block by block, is loudest where these
        samples are: a track change heard from outside, whatever the state
        the tracks before it left in the mixer."""
        blocks = int(seconds * SAMPLE_RATE) // BLOCK

        def envelope(sound):
            return numpy.sqrt((sound[:blocks * BLOCK].astype(numpy.float64).reshape(blocks, BLOCK) ** 2).mean(axis=1))
        heard = envelope(samples)
        distances = {track: float(numpy.abs(envelope(render_track(track, seconds + 0.5)) - heard).mean())
                     for track in range(1, 11)}
        return min(distances, key=distances.get)

    @only_where("page")
    def test_media_session_and_media_keys_change_tracks_and_pause(self):
        # Keeps the handlers the page gives the Media Session, so that the
        # test can act as the system's media controls do.
        d = self.start(before_load="""
            window.mediaActions = {};
            var setActionHandler = navigator.mediaSession.setActionHandler.bind(navigator.mediaSession);
            navigator.mediaSession.setActionHandler = function (action, handler) {
              setActionHandler(action, handler);
              if (handler) mediaActions[action] = handler; else delete mediaActions[action];
            };""")
        d.wait_for_sound(1, 0.2)
        self.assertEqual(sorted(d.evaluate("Object.keys(mediaActions)")),
                         ["nexttrack", "pause", "play", "previoustrack", "stop"])
        icon = d.evaluate("document.getElementById('icon').href")
        self.assertTrue(icon.startswith("blob:"), "no icon: " + icon)

        def shows(title, state):
            self.assertEqual(d.media_state(), [title + " \u2013 " + DISK.name, state, title, DISK.name, [icon]])

        def act(action):
            d.evaluate("mediaActions[%r]({action: %r}); true" % (action, action))

        shows(DISK.titles[0], "playing")
        for count, (press, title) in enumerate(((lambda: act("nexttrack"), DISK.titles[1]),
                                                (lambda: act("previoustrack"), DISK.titles[0]),
                                                (lambda: d.key("MediaNext"), DISK.titles[1]),
                                                (lambda: d.key("MediaPrevious"), DISK.titles[0])), 2):
            press()
            d.wait_for_sound(count, 0.2)
            shows(title, "playing")
        # One press that reaches the page as a key and as an action acts once.
        d.browser.key("MediaTrackNext", kinds=("rawKeyDown",))
        act("nexttrack")
        d.browser.key("MediaTrackNext", kinds=("keyUp",))
        d.wait_for_sound(6, 0.2)
        shows(DISK.titles[1], "playing")

        def holds(pause, what):
            self.held(pause, what)
            shows(DISK.titles[1], "paused")

        def goes_on(resume, what):
            self.goes_on(resume, what, 0.4)
            shows(DISK.titles[1], "playing")

        holds(lambda: act("pause"), "the pause action")
        goes_on(lambda: act("play"), "the play action")
        holds(lambda: d.key("MediaStop"), "the stop key")
        act("stop")
        act("pause")
        goes_on(lambda: act("play"), "the play action after stop")
        holds(lambda: act("stop"), "the stop action")
        goes_on(lambda: d.key("MediaPlayPause"), "play/pause after stop")
        self.assertFalse(d.evaluate("document.getElementById('keys').hidden"), "no line tells the keys")
        self.assert_sequence([1, 2, 1, 2, 1, 2])
        self.quits_within(lambda: d.key("Escape"))

    @only_where("page")
    def test_a_lost_webgl_context_is_restored_while_the_sound_goes_on(self):
        d = self.start()
        d.wait_for_sound(1, 0.2)
        d.evaluate("window.contextLoss = document.getElementById('canvas').getContext('webgl')"
                   ".getExtension('WEBGL_lose_context'); contextLoss.loseContext(); true")
        wait_for(lambda: d.evaluate("document.getElementById('canvas').getContext('webgl').isContextLost()"), 10,
                 "the context to be lost")
        self.assertNotEqual(scene_faults(d.shot("lost")), [], "the scene shows without a context")
        played = d.played()
        d.evaluate("contextLoss.restoreContext(); true")
        restored = wait_for(lambda: (lambda shot: not scene_faults(shot) and shot)(d.shot("restored")), 30,
                            "the scene to be drawn again")
        self.assertGreater(bright_pixels(restored, FLOWN_TITLE), 100, "no title flown out")
        self.cube_turned(restored, "restored_later")
        # The sound went on through it all, in its one opening.
        wait_for(lambda: d.played() >= played + SAMPLE_RATE, 10, "the sound to go on")
        self.assert_sequence([1])

    @only_where("page")
    def test_twenty_track_changes_in_twenty_seconds_without_an_error(self):
        d = self.start()
        d.wait_for_sound(1, 0.2)
        tracks = [1]
        changes = ((lambda: d.click(corners(ZONES["next"])[0]), 1), (lambda: d.click(corners(ZONES["previous"])[1]), -1),
                   (lambda: d.key("Up"), -1), (lambda: d.key("Down"), 1))
        for change in range(20):
            press, by = changes[change % 4]
            press()
            tracks.append(step(tracks[-1], by))
            d.wait_for_sound(len(tracks), 1.0)
        self.assertGreater(d.frames(), 100, "frames stopped")
        self.assert_sequence(tracks)

    @only_where("page")
    def test_first_click_starts_the_sound_where_the_browser_waits_for_one(self):
        d = self.start(autoplay=False)
        if d.evaluate("Module.shell.sound.context.state") == "running":
            self.skipTest("this Chromium starts sound without a gesture")
        self.assertFalse(d.evaluate("document.getElementById('hint').hidden"), "no hint before the sound")
        d.screenshot("waiting_for_a_click")
        # Of three quick clicks on the next zone, the first only starts the
        # sound; the two after it, which come while the browser is still
        # starting it, each change the track.
        d.click(corners(ZONES["next"])[1], times=3)
        wait_for(lambda: d.evaluate("Module.shell.sound.context.state") == "running", 10, "the sound to start")
        d.wait_for_sound(3, 0.2)
        self.assertTrue(d.evaluate("document.getElementById('hint').hidden"))
        self.assert_sequence([1, 2, 3])
        self.assertEqual(d.errors(), [])
        # Escape is no gesture to the browser: before the sound it still quits.
        d = self.restart(autoplay=False)
        self.quits_within(lambda: d.key("Escape"))

    @only_where("page")
    def test_script_processor_plays_the_same_blocks(self):
        d = self.start(query="?record&scriptprocessor")
        d.wait_for_sound(1, 2.0)
        self.assertEqual(d.evaluate("Module.shell.sound.path"), "script processor")
        queued = d.segments()[0]
        self.assertEqual(first_difference(queued, render_track(1, len(queued) / SAMPLE_RATE + 1)), len(queued))


def main():
    global ARGS, DISK, DRIVER
    parser = argparse.ArgumentParser()
    shell = parser.add_mutually_exclusive_group(required=True)
    shell.add_argument("--exe", help="the Windows program, run under Wine (with --prefix)")
    shell.add_argument("--page", help="the web page's folder, opened in Chromium")
    parser.add_argument("--prefix", help="the Wine prefix")
    parser.add_argument("--ahx", required=True)
    parser.add_argument("--sequence", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--pack", help="the content pack the disk was made from (default: the shipped disk's)")
    ARGS, rest = parser.parse_known_args()
    DISK = Disk(ARGS.pack)
    native_tools.ensure(ARGS.ahx, ARGS.sequence)
    os.makedirs(ARGS.out, exist_ok=True)
    if ARGS.exe:
        from wine_driver import WineDriver
        DRIVER = WineDriver(ARGS)
    else:
        from chromium_driver import ChromiumDriver
        DRIVER = ChromiumDriver(ARGS)
    try:
        program = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2)
    finally:
        DRIVER.close()
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
