#!/usr/bin/env python3
"""Tests for scripts/make_photo.py: pictures look like photos, orientation tags, the frame's transparency."""
import os
import subprocess
import sys
import tempfile
import unittest

MAKER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "make_photo.py")


def make(*args):
    return subprocess.run([sys.executable, MAKER, *args], capture_output=True, text=True)


def fx(path, expr):
    """One number computed by ImageMagick's fx language over the picture (auto-oriented first)."""
    out = subprocess.run(["convert", path, "-auto-orient", "-format", f"%[fx:{expr}]", "info:"],
                         capture_output=True, text=True, check=True).stdout
    return float(out)


class MakePhotoTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.dir, name)

    def test_every_scene_is_a_coloured_textured_picture_of_the_asked_size(self):
        scenes = make("--list").stdout.split()
        self.assertGreaterEqual(len(scenes), 8)
        for scene in scenes:
            with self.subTest(scene=scene):
                out = self.path(scene + ".jpg")
                self.assertEqual(make("--scene", scene, "--size", "120x90", "--seed", "3", out).returncode, 0)
                self.assertEqual((fx(out, "w"), fx(out, "h")), (120, 90))
                # Not flat, and not grey: the channels differ somewhere by more than grain would.
                self.assertGreater(fx(out, "standard_deviation"), 0.03)
                spread = fx(out, "max(abs(mean.r-mean.g),max(abs(mean.g-mean.b),abs(mean.r-mean.b)))")
                self.assertGreater(spread, 0.01)

    def test_same_seed_gives_the_same_file_and_another_seed_another_picture(self):
        a, b, c = self.path("a.jpg"), self.path("b.jpg"), self.path("c.jpg")
        for out, seed in ((a, "5"), (b, "5"), (c, "6")):
            make("--scene", "bokeh", "--size", "96x64", "--seed", seed, out)
        with open(a, "rb") as fa, open(b, "rb") as fb, open(c, "rb") as fc:
            first = fa.read()
            self.assertEqual(first, fb.read())
            self.assertNotEqual(first, fc.read())

    def test_orientation_6_stores_the_picture_on_its_side_and_tags_it(self):
        out = self.path("turned.jpg")
        self.assertEqual(make("--scene", "forest", "--size", "60x80", "--orientation", "6", out).returncode, 0)
        stored = subprocess.run(["identify", "-format", "%w %h %[EXIF:Orientation]", out],
                                capture_output=True, text=True, check=True).stdout.split()
        self.assertEqual(stored, ["80", "60", "6"])
        self.assertEqual((fx(out, "w"), fx(out, "h")), (60, 80))  # upright once the tag is honoured

    def test_frame_has_an_opaque_border_a_clear_centre_and_a_soft_edge_between(self):
        out = self.path("frame.png")
        self.assertEqual(make("--frame", "--size", "120x160", out).returncode, 0)
        self.assertEqual(fx(out, "p{3,80}.a"), 1.0)       # in the border
        self.assertEqual(fx(out, "p{60,80}.a"), 0.0)      # centre
        # Walking from the border to the centre the opacity falls through partial values.
        partial = [fx(out, f"p{{{x},80}}.a") for x in range(8, 30)]
        self.assertTrue(any(0.05 < a < 0.95 for a in partial), partial)

    def test_bad_arguments_fail_without_writing(self):
        out = self.path("x.jpg")
        self.assertNotEqual(make("--scene", "city", "--size", "12x", out).returncode, 0)
        self.assertNotEqual(make("--scene", "nope", out).returncode, 0)
        self.assertNotEqual(make("--scene", "city").returncode, 0)
        self.assertFalse(os.path.exists(out))


if __name__ == "__main__":
    unittest.main()
