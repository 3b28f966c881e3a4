#!/usr/bin/python3
"""The musicdisk as a user meets it: the real .exe under Wine on a virtual
display, driven with the mouse and keyboard, seen through screenshots and
heard through an ALSA file sink that captures every sample it plays.

    musicdisk_e2e_test.py --exe veltrane-music.exe --prefix WINEPREFIX \\
        --ahx NATIVE_AHX --sequence NATIVE_RENDER_TRACK_SEQUENCE --out DIR [unittest options]

Screenshots, captures and logs of every run stay under DIR for a person to
look at. The native tools it compares against are built first when they
are missing from the native-release tree.
"""

import argparse
import os
import subprocess
import sys
import time
import unittest

import numpy

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import native_tools  # noqa: E402
import reference_sound  # noqa: E402
from disk_under_test import Disk  # noqa: E402
from wine_musicdisk import SAMPLE_RATE, Musicdisk, VirtualDisplay, wait_for  # noqa: E402

ARGS = None
# The disk the program plays.
DISK = None
DISPLAY = None

BLOCK = 1764  # samples in one 40 ms block of the device
WINDOW = 256
# Client points of the zones, and one on the skin that is in none.
NEXT = (190, 56)
PREVIOUS = (93, 56)
PAUSE = (122, 56)
RESUME = (155, 56)
CLOSE = (36, 62)
PLAIN_SKIN = (128, 20)
# Quitting must not keep the user waiting.
QUIT_SECONDS = 1.0


# Window regions of the scene, in client pixels (x, y from the top left,
# right and bottom exclusive).
CUBE_CORNER = (3, 178, 75, 250)
CORNER_IMAGE = (128, 121, 256, 249)
# Where the first title of the list sits while another one is selected, and
# where a selected title ends its flight.
FIRST_TITLE_ROW = (95, 80, 175, 89)
FLOWN_TITLE = (60, 99, 210, 116)


def inside(point, box):
    return box[0] <= point[0] < box[2] and box[1] <= point[1] < box[3]


def bright_pixels(image, box, level=150):
    """Pixels of a box whose every channel is above `level`: title text, not
    the dim logo behind it."""
    return sum(1 for y in range(box[1], box[3]) for x in range(box[0], box[2])
               if min(image.getpixel((x, y))) > level)


def red(colour):
    r, g, b = colour[:3]
    return r > 150 and g < 90 and b < 90


def skin_image():
    from PIL import Image
    return Image.open(DISK.skin).convert("RGBA")


def setUpModule():
    global DISPLAY
    DISPLAY = VirtualDisplay().start()


def tearDownModule():
    subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=ARGS.prefix),
                   stderr=subprocess.DEVNULL)
    DISPLAY.stop()


def render_track(track, seconds):
    return reference_sound.render_song(ARGS.ahx, DISK.songs[track - 1], seconds)


def render_sequence(steps):
    return reference_sound.render_sequence(ARGS.sequence, steps)


def first_difference(played, reference):
    return reference_sound.first_difference(played, reference, silence_inserted=True)


def without_closing_silence(samples):
    """The samples without the silence at their end: Wine's sound driver pads
    the stream with a period of zeros when the device stops or closes."""
    nonzero = numpy.nonzero(samples)[0]
    return samples[:int(nonzero[-1]) + 1] if len(nonzero) else samples[:0]


def explain_sequence(segments, tracks, test):
    """Checks that each captured segment is the next track of `tracks`, sample
    for sample, played from the state the segments before it left behind.
    How many blocks of a track were rendered before the change is not known
    from outside (up to 16 were queued and dropped), so each count the device
    could have reached is tried."""
    steps = []
    for index, (segment, track) in enumerate(zip(segments, tracks)):
        segment = without_closing_silence(segment)
        played_blocks = -(-len(segment) // BLOCK)
        wanted = played_blocks + 2
        matched = False
        if not steps:
            reference = render_sequence([(track, wanted)])
            matched = first_difference(segment, reference) == len(segment)
        else:
            previous_track, previous_played = steps[-1]
            for rendered in range(previous_played, previous_played + 40):
                reference = render_sequence(steps[:-1] + [(previous_track, rendered), (track, wanted)])
                if first_difference(segment, reference) == len(segment):
                    steps[-1] = (previous_track, rendered)
                    matched = True
                    break
        test.assertTrue(matched, "segment %d (%d samples) is not track %d as the program would play it"
                        % (index, len(segment), track))
        steps.append((track, played_blocks))


class MusicdiskTest(unittest.TestCase):
    def setUp(self):
        self.out = os.path.join(ARGS.out, self._testMethodName)
        os.makedirs(self.out, exist_ok=True)
        self.disk = Musicdisk(ARGS.exe, ARGS.prefix, DISPLAY, self.out, "musicdisk", DISK.name)

    def tearDown(self):
        if self.disk.process is not None and os.path.exists(self.disk.capture_path):
            self.disk.save_wav(os.path.join(self.out, "played.wav"))
        self.disk.stop()

    def start(self):
        self.disk.start()
        self.disk.wait_for_window()
        # The keyboard goes to the window under the pointer.
        self.disk.move_pointer(*PLAIN_SKIN)

    def shot(self, name):
        return self.disk.window_shot(os.path.join(self.out, name + ".png"))

    def assert_quits_within(self, action, seconds=QUIT_SECONDS):
        action()
        begun = time.monotonic()
        code = self.disk.wait_exit(30)
        took = time.monotonic() - begun
        self.assertEqual(code, 0)
        self.assertLess(took, seconds, "the program took %.2f s to end" % took)
        self.assertEqual(self.disk.program_processes(), [], "processes of the program are left behind")

    def wait_for_segment(self, count, seconds, timeout=60):
        """Waits until the device has been opened `count` times and the last
        opening has played `seconds` of sound."""
        def ready():
            paths = self.disk.segment_paths()
            return len(paths) >= count and os.path.getsize(paths[count - 1]) >= seconds * SAMPLE_RATE * 2
        wait_for(ready, timeout, "opening %d of the device with %.1f s of sound" % (count, seconds))

    def test_window_is_centred_shaped_and_draggable_and_plays_the_first_tune(self):
        self.start()
        x, y, w, h = self.disk.geometry()
        self.assertEqual((w, h), (WINDOW, WINDOW))
        self.assertEqual((x, y), ((DISPLAY.width - WINDOW) // 2, (DISPLAY.height - WINDOW) // 2))

        # The window is shown before its first frame is drawn: a screenshot
        # taken in between finds the desktop even where the skin will be.
        def first_frame_shown():
            screen = self.disk.screenshot(os.path.join(self.out, "screen.png"))
            return screen if screen.getpixel((x + PLAIN_SKIN[0], y + PLAIN_SKIN[1])) != VirtualDisplay.DESKTOP else None
        screen = wait_for(first_frame_shown, 30, "the first frame")
        self.assertEqual(screen.getpixel((x, y)), VirtualDisplay.DESKTOP, "outside the outline shows the desktop")
        self.assertEqual(screen.getpixel((x + WINDOW - 1, y + WINDOW - 1)), VirtualDisplay.DESKTOP)

        self.disk.drag(*PLAIN_SKIN, 60, 40)
        wait_for(lambda: self.disk.geometry()[:2] != (x, y), 10, "the window to move")
        self.assertEqual(self.disk.geometry()[:2], (x + 60, y + 40))
        self.disk.drag(*PLAIN_SKIN, -90, 15)
        wait_for(lambda: self.disk.geometry()[:2] != (x + 60, y + 40), 10, "the window to move again")
        self.assertEqual(self.disk.geometry()[:2], (x - 30, y + 55))
        self.shot("moved")

        self.wait_for_segment(1, 6.0)
        played = without_closing_silence(self.disk.segments()[0])
        reference = render_track(1, 8)
        self.assertGreaterEqual(len(played), 5 * SAMPLE_RATE)
        n = min(len(played), len(reference))
        self.assertEqual(first_difference(played[:n], reference[:n]), n,
                         "the sound parts from the first song as `ahx render` renders it")
        self.assert_quits_within(lambda: self.disk.click(*CLOSE))

    def test_zones_arrow_keys_and_media_keys_change_tracks(self):
        self.start()
        self.wait_for_segment(1, 2.0)
        steps = [(lambda: self.disk.click(*NEXT)), (lambda: self.disk.click(*PREVIOUS)),
                 (lambda: self.disk.key("Down")), (lambda: self.disk.key("Up")), (lambda: self.disk.key("Up")),
                 (lambda: self.disk.key("XF86AudioNext")), (lambda: self.disk.key("XF86AudioPrev"))]
        for count, step in enumerate(steps, 2):
            step()
            self.wait_for_segment(count, 2.0)
        self.shot("tenth_track_after_the_media_keys")
        self.assert_quits_within(lambda: self.disk.key("Escape"))
        # A media key that acted twice would have opened the device once more.
        explain_sequence(self.disk.segments(), [1, 2, 1, 2, 1, 10, 1, 10], self)

    def test_pause_is_silent_and_resume_goes_on_where_it_stopped(self):
        self.start()
        self.wait_for_segment(1, 2.0)

        def settled():
            before = self.disk.captured_bytes()
            time.sleep(0.5)
            return self.disk.captured_bytes() == before

        def holds(pause, name):
            pause()
            wait_for(settled, 20, "the sound to stop after %s" % name)
            return self.disk.captured_bytes()

        def goes_on(resume, paused_at, name, seconds=1.0):
            resume()
            wait_for(lambda: self.disk.captured_bytes() >= paused_at + seconds * SAMPLE_RATE * 2, 30,
                     "the sound to go on after %s" % name)

        paused_at = holds(lambda: self.disk.click(*PAUSE), "the pause zone")
        time.sleep(1.5)
        self.assertEqual(self.disk.captured_bytes(), paused_at, "sound went on while paused")
        goes_on(lambda: self.disk.click(*RESUME), paused_at, "the resume zone", 3.0)
        # Pausing twice and resuming twice change nothing more.
        self.disk.click(*RESUME)

        # The play/pause media key and Space toggle; a press that acted twice
        # would leave the sound playing.
        for key in ("XF86AudioPlay", "space"):
            paused_at = holds(lambda: self.disk.key(key), key)
            goes_on(lambda: self.disk.key(key), paused_at, key)
        self.assertEqual(len(self.disk.segment_paths()), 1, "pause and resume must not reopen the device")
        self.disk.request_close()
        begun = time.monotonic()
        self.assertEqual(self.disk.wait_exit(30), 0)
        self.assertLess(time.monotonic() - begun, QUIT_SECONDS)

        played = without_closing_silence(self.disk.captured())
        reference = render_track(1, len(played) / SAMPLE_RATE + 1)
        self.assertEqual(first_difference(played, reference), len(played),
                         "after the pause the tune does not go on where it stopped")

    def test_scene_shows_through_the_screen_and_animates(self):
        self.start()
        # A last mouse movement of one pixel keeps the title's ghosts still.
        self.disk.move_pointer(PLAIN_SKIN[0] + 1, PLAIN_SKIN[1])
        # The selected title flies out of the list within two seconds.
        first = wait_for(lambda: (lambda image: image if bright_pixels(image, FIRST_TITLE_ROW) == 0
                                  and bright_pixels(image, FLOWN_TITLE) > 100 else None)(self.shot("first_tune")),
                         20, "the first title to fly out", interval=0.25)
        skin = skin_image()

        # The skin exactly where it is opaque, apart from what is drawn over it.
        wrong = [(x, y) for y in range(WINDOW) for x in range(WINDOW)
                 if skin.getpixel((x, y))[3] == 255 and not inside((x, y), CUBE_CORNER)
                 and not inside((x, y), CORNER_IMAGE)
                 and max(abs(a - b) for a, b in zip(first.getpixel((x, y)), skin.getpixel((x, y))[:3])) > 1]
        self.assertEqual(wrong[:10], [], "%d opaque skin pixels are not the skin" % len(wrong))
        # After a change the first title is back in its place in the list and
        # the second one has flown out.
        changed_at = time.monotonic()
        self.disk.key("Down")
        # Its flight takes two seconds of the program's clock, so no sooner.
        second = wait_for(lambda: (lambda image: image if time.monotonic() - changed_at > 2.2
                                   and bright_pixels(image, FIRST_TITLE_ROW) > 30
                                   and bright_pixels(image, FLOWN_TITLE) > 100 else None)(self.shot("second_tune")),
                          20, "the second title to fly out", interval=0.25)

        # The noise cube turns and fades from frame to frame.
        def cube_changed():
            later = self.shot("second_tune_later")
            changed = sum(1 for y in range(CUBE_CORNER[1], CUBE_CORNER[3])
                          for x in range(CUBE_CORNER[0], CUBE_CORNER[2])
                          if second.getpixel((x, y)) != later.getpixel((x, y)))
            return later if changed > 200 else None
        later = wait_for(cube_changed, 10, "the cube's corner to change", interval=0.1)

        # The ring's red characters lie in the cube's corner and nowhere else.
        for image in (first, second, later):
            ring = [(x, y) for y in range(WINDOW) for x in range(WINDOW) if red(image.getpixel((x, y)))]
            outside = [p for p in ring if not inside(p, CUBE_CORNER) and not red(skin.getpixel(p))]
            self.assertGreater(sum(1 for p in ring if inside(p, CUBE_CORNER)), 20, "no ring in the corner")
            self.assertEqual(outside[:10], [], "red outside the cube's corner")
        self.assert_quits_within(lambda: self.disk.key("Escape"))

    def wait_for_frames(self, name, timeout=10):
        """Waits until what shows of the window changes between two shots (the
        cube, the logo's pulse): the frame loop is running. Whatever lies off
        the screen is black in both."""
        before = numpy.asarray(self.shot(name))

        def changed():
            later = numpy.asarray(self.shot(name + "_later"))
            return int(numpy.any(before != later, axis=2).sum()) > 200
        wait_for(changed, timeout, "the window's frames to change (%s)" % name, interval=0.05)

    def test_drags_past_the_screen_edges_move_the_window_by_the_drag_and_leave_it_responsive(self):
        self.start()
        wait_for(lambda: self.disk.geometry()[2:] == (WINDOW, WINDOW), 30, "the window")
        self.wait_for_frames("started")
        x, y, _, _ = self.disk.geometry()
        grab_x, grab_y = x + PLAIN_SKIN[0], y + PLAIN_SKIN[1]

        def dropped(name, expected):
            wait_for(lambda: self.disk.geometry()[:2] == expected, 10,
                     "the window at %s after %s (it is at %s)" % (expected, name, self.disk.geometry()[:2]))
            # No move loop is left running: the pointer moves without the window.
            self.disk.move_pointer(PLAIN_SKIN[0] + 30, PLAIN_SKIN[1] + 120)
            self.wait_for_frames(name.replace(" ", "_"))
            self.assertEqual(self.disk.geometry()[:2], expected, "the window followed the pointer after " + name)

        # Half the window off the left edge and back, in one drag.
        self.disk.drag_through(*PLAIN_SKIN, [(0, grab_y), (grab_x + 60, grab_y)])
        dropped("a drag past the left edge", (x + 60, y))
        # Past the top edge and back.
        self.disk.drag_through(*PLAIN_SKIN, [(grab_x + 60, 0), (grab_x + 60, grab_y + 30)])
        dropped("a drag past the top edge", (x + 60, y + 30))
        # Off the left edge in one drag, back in another.
        self.disk.drag_through(*PLAIN_SKIN, [(0, grab_y + 30)])
        off_x = x + 60 - (grab_x + 60)
        dropped("a drag off the left edge", (off_x, y + 30))
        self.disk.drag_through(160, 20, [(off_x + 160 + 300, grab_y + 30)])
        dropped("a drag back on screen", (off_x + 300, y + 30))
        self.shot("after_the_drags")
        self.assert_quits_within(lambda: self.disk.key("Escape"))

    def closest_track(self, samples, seconds=2.0):
        """The track whose opening, block by block, is loudest where these
        samples are: a track change heard from outside, whatever the state
        the tracks before it left in the mixer."""
        blocks = int(seconds * SAMPLE_RATE) // BLOCK

        def envelope(sound):
            frames = sound[:blocks * BLOCK].astype(numpy.float64).reshape(blocks, BLOCK)
            return numpy.sqrt((frames ** 2).mean(axis=1))
        heard = envelope(samples)
        distances = {track: float(numpy.abs(envelope(render_track(track, seconds + 0.5)) - heard).mean())
                     for track in range(1, 11)}
        return min(distances, key=distances.get)

    def test_a_held_arrow_key_keeps_the_frames_coming_and_plays_the_track_it_ends_on(self):
        self.start()
        self.wait_for_segment(1, 1.0)
        # Auto-repeat at 33 presses a second for three seconds.
        presses = self.disk.keys_in_background("Down", 99, 30)
        try:
            self.wait_for_frames("while_held", timeout=2.5)
            self.assertIsNone(presses.poll(), "the frames came only after the key was let go")
        finally:
            presses.wait(timeout=60)
        # 99 steps from the first track: the tenth plays, from its start.
        wait_for(lambda: os.path.getsize(self.disk.segment_paths()[-1]) >= 2.5 * SAMPLE_RATE * 2, 30,
                 "the last track's sound")
        self.assertTrue(wait_for(lambda: self.disk.playback_threads() == 1, 10, "one playback thread"))
        self.assertEqual(self.closest_track(self.disk.segments()[-1]), 10)
        self.assert_quits_within(lambda: self.disk.key("Escape"))

    def test_escape_ends_the_program_at_once_after_a_key_flood(self):
        self.start()
        self.wait_for_segment(1, 1.0)
        self.disk.key("Down", repeat=200, delay_ms=2)
        self.assert_quits_within(lambda: self.disk.key("Escape"))

    def test_escape_ends_the_program_at_once_after_a_storm_of_clicks_and_keys(self):
        self.start()
        self.wait_for_segment(1, 1.0)
        self.disk.clicks(*NEXT, 100, 2)
        self.disk.key("Down", repeat=90, delay_ms=2)
        self.disk.clicks(*PREVIOUS, 100, 2)
        self.disk.move_pointer(*PLAIN_SKIN)
        self.assert_quits_within(lambda: self.disk.key("Escape"))


def main():
    global ARGS, DISK
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--ahx", required=True)
    parser.add_argument("--sequence", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--pack", help="the content pack the disk was made from (default: the shipped disk's)")
    ARGS, rest = parser.parse_known_args()
    DISK = Disk(ARGS.pack)
    native_tools.ensure(ARGS.ahx, ARGS.sequence)
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
    subprocess.run(["bash", os.path.join(root, "scripts", "wine_prefix.sh"), ARGS.prefix, "--virtual-display"],
                   check=True)
    ARGS.prefix = os.path.abspath(ARGS.prefix)
    os.makedirs(ARGS.out, exist_ok=True)
    program = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
