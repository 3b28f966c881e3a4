#!/usr/bin/python3
"""A musicdisk of someone else's: the tests' own packs (make_test_packs.py)
through scripts/make_musicdisk.sh.

    pack_disk_test.py --out DIR [--ahx AHX] [unittest options]

BadPackTest needs only the ahx tool; DiskFromAPackTest builds the good pack
into an .exe and a page and runs the end-to-end scenarios of the first tune
and the scene against them, under Wine and in Chromium, and reads the .exe's
properties back.
"""

import argparse
import os
import shutil
import subprocess
import sys
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import make_test_packs  # noqa: E402
import musicdisk_pack  # noqa: E402

ARGS = None


def packs():
    folder = os.path.join(ARGS.out, "packs")
    make_test_packs.main_into(folder)
    return os.path.join(folder, "good"), os.path.join(folder, "bad")


class BadPackTest(unittest.TestCase):
    def test_every_problem_is_reported_at_once_and_nothing_is_built(self):
        _, bad = packs()
        run = subprocess.run(["/usr/bin/python3", os.path.join(ROOT, "scripts", "musicdisk_pack.py"), "check", ".",
                              "--ahx", ARGS.ahx], cwd=bad, capture_output=True, text=True)
        self.assertEqual(run.returncode, 2, run.stderr)
        lines = run.stderr.splitlines()
        for where, words in make_test_packs.EXPECTED:
            self.assertTrue(any(line.startswith(where + ": ") and words in line for line in lines),
                            "no '%s: ...%s...' in\n%s" % (where, words, run.stderr))
        self.assertEqual(len(lines), len(make_test_packs.EXPECTED) + 1, run.stderr)
        self.assertEqual(lines[-1], "musicdisk.txt: %d problems; nothing was built" % len(make_test_packs.EXPECTED))

    def test_the_shipped_disk_is_a_pack_that_passes(self):
        run = subprocess.run(["/usr/bin/python3", os.path.join(ROOT, "scripts", "musicdisk_pack.py"), "check",
                              os.path.join(ROOT, "resources"), "--ahx", ARGS.ahx], capture_output=True, text=True)
        self.assertEqual((run.returncode, run.stderr), (0, ""))

    def test_an_outline_made_from_the_shipped_skin_is_the_shipped_outline(self):
        # The screen is transparent but enclosed by the frame: it stays inside.
        art = os.path.join(ROOT, "resources", "art")
        with open(os.path.join(art, "skin.rgn"), "rb") as f:
            self.assertEqual(musicdisk_pack.outline_from_alpha(musicdisk_pack.read_targa(
                os.path.join(art, "skin.tga"))[3]), f.read())


class DiskFromAPackTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        good, bad = packs()
        cls.good = good
        cls.disk = os.path.join(ARGS.out, "disk")
        make = os.path.join(ROOT, "scripts", "make_musicdisk.sh")
        shutil.rmtree(os.path.join(ARGS.out, "refused"), ignore_errors=True)
        refused = subprocess.run(["bash", make, bad, "-o", os.path.join(ARGS.out, "refused")],
                                 capture_output=True, text=True)
        cls.refused = refused
        subprocess.run(["bash", make, good, "-o", cls.disk], check=True)

    def test_a_bad_pack_stops_the_script_before_any_build(self):
        self.assertEqual(self.refused.returncode, 2, self.refused.stderr)
        self.assertIn("problems; nothing was built", self.refused.stderr)
        self.assertFalse(os.path.exists(os.path.join(ARGS.out, "refused")))

    def test_the_exe_plays_its_first_song_and_shows_its_skin_and_titles_under_wine(self):
        exe = os.path.join(self.disk, "pixel-harbour.exe")
        self.assertTrue(os.path.isfile(exe), os.listdir(self.disk))
        subprocess.run(["/usr/bin/python3", os.path.join(ROOT, "tests", "expect_version_and_manifest.py"), exe,
                        make_test_packs.NAME, ARGS.version, make_test_packs.COPYRIGHT], check=True)
        self.assertEqual(self.scenarios("--exe", exe, "--prefix", ARGS.prefix, "--out", os.path.join(ARGS.out, "wine")),
                         0)

    def test_the_page_plays_its_first_song_and_shows_its_skin_and_titles_in_chromium(self):
        self.assertEqual(self.scenarios("--page", os.path.join(self.disk, "web"), "--out", os.path.join(ARGS.out, "web")),
                         0)

    def scenarios(self, *shell):
        """The end-to-end scenarios of the first tune and the scene, against this disk."""
        return subprocess.run(["/usr/bin/python3", os.path.join(ROOT, "tests", "scenarios", "musicdisk_scenarios.py")]
                              + list(shell) + ["--ahx", ARGS.ahx, "--sequence", ARGS.sequence, "--pack", self.good,
                                               "-k", "plays_the_first_tune", "-k", "scene_shows"]).returncode


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--ahx", required=True)
    parser.add_argument("--sequence", help="render_track_sequence (DiskFromAPackTest)")
    parser.add_argument("--prefix", help="the Wine prefix (DiskFromAPackTest)")
    parser.add_argument("--version", help="the project's version (DiskFromAPackTest)")
    ARGS, rest = parser.parse_known_args()
    ARGS.out = os.path.abspath(ARGS.out)
    os.makedirs(ARGS.out, exist_ok=True)
    program = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
