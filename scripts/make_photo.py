#!/usr/bin/env python3
"""Makes photographic-looking test pictures (landscapes, sunsets, bokeh, fruit...) with ImageMagick.

The demo's sample photos and the benchmark's 12-megapixel photos come from here. A scene is painted at
a modest working size (shapes, gradients, plasma textures, blurs) and then resized to the requested size,
where film-like grain is added, so that large pictures cost seconds rather than minutes to make and still
carry the per-pixel entropy of a real camera JPEG.

    make_photo.py --scene mountains --size 800x600 --seed 7 [--quality 82] [--grain 3]
                  [--orientation 6] OUT.jpg
    make_photo.py --frame --size 600x800 OUT.png
    make_photo.py --list

--orientation 6 stores the pixels turned a quarter counter-clockwise and tags the file with EXIF
orientation 6 (exiftool), so a viewer that honours the tag shows the scene upright at --size.
Same arguments, same picture: every random choice comes from --seed.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile

# Scenes are painted at most this many pixels on the long side, then resized: large blurs and plasma at
# 12 megapixels take ImageMagick tens of seconds each.
WORK_LONG_SIDE_PX = 1000


def run(args):
    subprocess.run(args, check=True)


def convert_cmd():
    return shutil.which("convert") or "convert"


class Painter:
    """Builds one ImageMagick command line that paints a scene layer by layer on a WxH canvas."""

    def __init__(self, width_px, height_px, rng):
        self.w = width_px
        self.h = height_px
        self.rng = rng
        self.args = []

    def size(self):
        return f"{self.w}x{self.h}"

    def seed(self):
        return str(self.rng.randrange(1, 1 << 30))

    def base_gradient(self, top, bottom):
        self.args += ["-size", self.size(), f"gradient:{top}-{bottom}"]

    def texture(self, dark, light, blur_px, contrast=True):
        """A plasma texture mapped onto the colour ramp dark..light (left on the stack, no compose)."""
        t = ["(", "-size", self.size(), "-seed", self.seed(), "plasma:grey30-grey70",
             "-colorspace", "gray"]
        if contrast:
            t += ["-auto-level"]
        if blur_px > 0:
            t += ["-blur", f"0x{blur_px}"]
        t += ["-colorspace", "sRGB", "-type", "TrueColor", "+level-colors", f"{dark},{light}", ")"]
        return t

    def mask(self, draw_ops, soften_px=0.8):
        m = ["(", "-size", self.size(), "xc:black", "-fill", "white"]
        for op in draw_ops:
            m += ["-draw", op]
        if soften_px > 0:
            m += ["-blur", f"0x{soften_px}"]
        return m + [")"]

    def paint(self, source, draw_ops, soften_px=0.8, opacity=None):
        """Composites source (a texture or a solid colour) over the canvas through the drawn mask."""
        if isinstance(source, str):
            source = ["(", "-size", self.size(), f"xc:{source}", ")"]
        layer = ["("] + source + self.mask(draw_ops, soften_px)
        layer += ["-alpha", "off", "-compose", "CopyOpacity", "-composite"]
        if opacity is not None:
            layer += ["-channel", "A", "-evaluate", "multiply", str(opacity), "+channel"]
        layer += [")", "-compose", "Over", "-composite"]
        self.args += layer

    def glow(self, x, y, radius, colour, blur_px):
        """A soft light (sun, lamp, bokeh disc) added on top of the canvas."""
        # Painted on a patch just big enough for the blur's tail: blurring a whole canvas per light is slow.
        half = radius + 3 * blur_px + 2
        side = int(2 * half)
        self.args += ["(", "-size", f"{side}x{side}", "xc:black", "-fill", colour,
                      "-draw", f"circle {half:.0f},{half:.0f} {half + radius:.0f},{half:.0f}",
                      "-blur", f"0x{blur_px}", ")", "-geometry", f"{x - half:+.0f}{y - half:+.0f}",
                      "-compose", "Screen", "-composite", "+geometry"]

    def ridge(self, base_y, amplitude, roughness=0.55, steps=7):
        """Points of a mountain ridge by midpoint displacement, closed along the bottom edge."""
        pts = [base_y + self.rng.uniform(-amplitude, amplitude) for _ in range(2)]
        amp = amplitude
        for _ in range(steps):
            nxt = []
            for a, b in zip(pts, pts[1:]):
                nxt += [a, (a + b) / 2 + self.rng.uniform(-amp, amp)]
            nxt.append(pts[-1])
            pts = nxt
            amp *= roughness
        n = len(pts) - 1
        coords = [f"{self.w * i / n:.1f},{y:.1f}" for i, y in enumerate(pts)]
        coords += [f"{self.w},{self.h}", f"0,{self.h}"]
        return "polygon " + " ".join(coords)


def scene_mountains(p):
    w, h, r = p.w, p.h, p.rng
    p.base_gradient("#2f5f9e", "#d9e8f4")
    p.paint(p.texture("#ffffff", "#9fc0e0", 6), [f"rectangle 0,0 {w},{h * 0.45:.0f}"], 30, opacity=0.35)
    p.glow(w * r.uniform(0.6, 0.85), h * 0.18, h * 0.04, "#fff6d0", h * 0.01)
    p.glow(w * r.uniform(0.6, 0.85), h * 0.18, h * 0.12, "#806a40", h * 0.06)
    p.paint(p.texture("#6d7f9a", "#b9c6d8", 2), [p.ridge(h * 0.42, h * 0.12)], 1.5)
    p.paint(p.texture("#3c4a5c", "#7d8ca0", 1.5), [p.ridge(h * 0.55, h * 0.10)], 1.0)
    p.paint(p.texture("#1f3b1c", "#4f7a34", 1), [p.ridge(h * 0.72, h * 0.06, 0.65)], 0.8)
    p.paint(p.texture("#2c4f1e", "#9bb04a", 0.6), [f"rectangle 0,{h * 0.86:.0f} {w},{h}"], 6)


def scene_sunset(p):
    w, h, r = p.w, p.h, p.rng
    horizon = h * r.uniform(0.52, 0.6)
    p.base_gradient("#2b1d4f", "#ff9a4a")
    p.paint(p.texture("#f0b080", "#5a3060", 8), [f"rectangle 0,0 {w},{horizon * 0.7:.0f}"], 25, opacity=0.45)
    sun_x = w * r.uniform(0.35, 0.65)
    p.glow(sun_x, horizon - h * 0.04, h * 0.06, "#ffe8a0", h * 0.01)
    p.glow(sun_x, horizon - h * 0.04, h * 0.18, "#ff7a30", h * 0.08)
    p.paint(["-size", p.size(), "gradient:#5a3a5e-#120c24"]
            + ["(", "-size", p.size(), "-seed", p.seed(), "plasma:grey40-grey60", "-colorspace", "gray",
               "-motion-blur", f"0x{w * 0.05:.0f}+0", "-auto-level", ")",
               "-compose", "Overlay", "-composite"],
            [f"rectangle 0,{horizon:.0f} {w},{h}"], 0.7)
    # The sun's streak on the water.
    p.args += ["(", "-size", p.size(), "xc:black", "-fill", "#ffb060",
               "-draw", f"rectangle {sun_x - w * 0.03:.0f},{horizon:.0f} {sun_x + w * 0.03:.0f},{h}",
               "-motion-blur", f"0x{h * 0.02:.0f}+90", "-blur", f"0x{w * 0.01:.0f}", ")",
               "-compose", "Screen", "-composite"]
    # A dark headland on one side.
    left = r.random() < 0.5
    x0, x1 = (0, w * 0.35) if left else (w * 0.65, w)
    p.paint("#140d1c", [f"polygon {x0:.0f},{horizon:.0f} {x0:.0f},{horizon - h * 0.12:.0f} "
                        f"{(x0 + x1) / 2:.0f},{horizon - h * 0.07:.0f} {x1:.0f},{horizon:.0f}"], 1)


def scene_bokeh(p):
    w, h, r = p.w, p.h, p.rng
    p.args += p.texture("#0b1a0c", "#3d6a2a", min(w, h) * 0.06)
    palette = ["#ffd27a", "#ff8fa3", "#9fd4ff", "#fff2c2", "#c9ff9a", "#ffb347"]
    for _ in range(34):
        rad = min(w, h) * r.uniform(0.02, 0.09)
        p.glow(r.uniform(0, w), r.uniform(0, h), rad, r.choice(palette), rad * r.uniform(0.08, 0.3))
    # A few sharp flowers in front: petals as ellipses round a centre.
    for _ in range(r.randint(2, 4)):
        cx, cy, size = r.uniform(w * 0.15, w * 0.85), r.uniform(h * 0.3, h * 0.9), min(w, h) * r.uniform(0.07, 0.12)
        colour = r.choice(["#f4f0e8", "#ffd23f", "#e0457b", "#b84ae0"])
        ops = []
        for k in range(8):
            ops.append(f"translate {cx:.0f},{cy:.0f} rotate {k * 45 + r.uniform(-8, 8):.0f} "
                       f"ellipse {size * 0.55:.0f},0 {size * 0.5:.0f},{size * 0.2:.0f} 0,360")
        p.paint(p.texture(colour, "#ffffff", 1.5), ops, 0.8)
        p.paint(p.texture("#6b3b00", "#e0a030", 0.5), [f"circle {cx:.0f},{cy:.0f} {cx + size * 0.2:.0f},{cy:.0f}"], 0.8)


def scene_forest(p):
    w, h, r = p.w, p.h, p.rng
    p.base_gradient("#cfe6d4", "#6f8f5a")
    for depth in (0.25, 0.5, 1.0):
        tone_dark = {0.25: "#8aa08a", 0.5: "#4e6046", 1.0: "#2a2016"}[depth]
        tone_light = {0.25: "#a9bca8", 0.5: "#6f7f5e", 1.0: "#5c4630"}[depth]
        ops = []
        for _ in range(int(9 / depth)):
            x, tw = r.uniform(-0.05, 1.05) * w, w * r.uniform(0.015, 0.035) * depth * 1.5
            ops.append(f"polygon {x - tw:.0f},{h} {x - tw * 0.6:.0f},0 {x + tw * 0.6:.0f},0 {x + tw:.0f},{h}")
        p.paint(p.texture(tone_dark, tone_light, 1), ops, 3 * (1 - depth) + 0.6)
    p.paint(p.texture("#2e3b16", "#8a9a3a", 1), [f"rectangle 0,{h * 0.82:.0f} {w},{h}"], 12)
    # Shafts of light through the canopy.
    p.args += ["(", "-size", p.size(), "xc:black", "-fill", "#fff4c0",
               "-draw", f"polygon {w * 0.55:.0f},0 {w * 0.62:.0f},0 {w * 0.4:.0f},{h} {w * 0.25:.0f},{h}",
               "-blur", f"0x{w * 0.03:.0f}", "-evaluate", "multiply", "0.45", ")",
               "-compose", "Screen", "-composite"]


def scene_fruit(p):
    w, h, r = p.w, p.h, p.rng
    p.args += p.texture("#3b2414", "#8a5a34", 2)  # wooden table
    p.args += ["-motion-blur", f"0x{w * 0.04:.0f}+0"]
    p.paint(p.texture("#d8d0c0", "#f6f1e6", 3), [f"rectangle 0,0 {w},{h * 0.35:.0f}"], 2)  # wall
    colours = [("#7a0a0a", "#ff4a3a"), ("#b05a00", "#ffc04a"), ("#2f5a10", "#b8e060"), ("#4a0a3a", "#c04a90")]
    fruits = [(r.uniform(h * 0.45, h * 0.8), r.uniform(w * 0.15, w * 0.85), min(w, h) * r.uniform(0.09, 0.15),
               r.choice(colours)) for _ in range(r.randint(4, 6))]
    for cy, cx, rad, (dark, light) in sorted(fruits):  # back to front
        # Shadow, shaded body (radial gradient offset towards the light), highlight.
        p.paint("#000000", [f"ellipse {cx + rad * 0.3:.0f},{cy + rad * 0.85:.0f} {rad:.0f},{rad * 0.3:.0f} 0,360"],
                rad * 0.15, opacity=0.55)
        # Shaded body: a radial gradient whose bright centre sits towards the light (upper left).
        gx, gy = cx - rad * 1.6, cy - rad * 1.6
        body = ["-size", p.size(), f"xc:{dark}",
                "(", "-size", f"{rad * 2.6:.0f}x{rad * 2.6:.0f}", f"radial-gradient:{light}-{dark}", ")",
                "-geometry", f"{gx:+.0f}{gy:+.0f}", "-compose", "Over", "-composite", "+geometry"]
        p.paint(body, [f"circle {cx:.0f},{cy:.0f} {cx + rad:.0f},{cy:.0f}"], 1)
        p.glow(cx - rad * 0.4, cy - rad * 0.45, rad * 0.12, "#ffffff", rad * 0.08)


def scene_city(p):
    w, h, r = p.w, p.h, p.rng
    p.base_gradient("#050818", "#2a3a6a")
    # One texture for all buildings and one mask per window colour: a layer per building is slow.
    buildings, windows = [], {"#ffd98a": [], "#fff1c4": [], "#a8d8ff": []}
    step = max(4.0, w * 0.012)
    x = -r.uniform(0, w * 0.05)
    while x < w:
        bw, bh = w * r.uniform(0.05, 0.12), h * r.uniform(0.25, 0.7)
        top = h - bh
        buildings.append(f"rectangle {x:.0f},{top:.0f} {x + bw:.0f},{h}")
        lit = windows[r.choice(sorted(windows))]
        yy = top + step
        while yy < h - step:
            xx = x + step * 0.6
            while xx < x + bw - step:
                if r.random() < 0.35:
                    lit.append(f"rectangle {xx:.0f},{yy:.0f} {xx + step * 0.5:.0f},{yy + step * 0.6:.0f}")
                xx += step
            yy += step * 1.4
        x += bw + w * r.uniform(0.0, 0.02)
    p.paint(p.texture("#0a0c14", "#20242e", 1), buildings, 0.6)
    for colour, ops in sorted(windows.items()):
        if ops:
            p.paint(colour, ops, 0.5, opacity=0.9)
    p.glow(w * r.uniform(0.1, 0.9), h * 0.12, h * 0.035, "#f4f4e0", h * 0.01)
    # Street-light haze at the bottom.
    p.args += ["(", "-size", p.size(), "gradient:black-#402810", ")", "-compose", "Screen", "-composite"]


def scene_beach(p):
    w, h, r = p.w, p.h, p.rng
    p.base_gradient("#3f8fd8", "#d6ecfa")
    p.paint(p.texture("#ffffff", "#bcd8f0", 10), [f"rectangle 0,0 {w},{h * 0.4:.0f}"], 40, opacity=0.5)
    sea = h * r.uniform(0.45, 0.52)
    p.paint(["-size", p.size(), "gradient:#0d5d8a-#38b3c4"], [f"rectangle 0,{sea:.0f} {w},{h}"], 0.7)
    shore = [f"0,{h * 0.72:.0f}"]
    for i in range(1, 9):
        shore.append(f"{w * i / 8:.0f},{h * (0.72 + r.uniform(-0.05, 0.05)):.0f}")
    p.paint(p.texture("#c9a46a", "#f4e2b8", 0.7), ["polygon " + " ".join(shore + [f"{w},{h}", f"0,{h}"])], 5)
    p.paint("#ffffff", ["polyline " + " ".join(shore)], 6, opacity=0.6)
    # A palm's shadow and a parasol for scale.
    px, py = w * r.uniform(0.2, 0.8), h * r.uniform(0.8, 0.9)
    p.paint(r.choice(["#d8262e", "#f2b705", "#1e7bd6"]),
            [f"ellipse {px:.0f},{py - h * 0.18:.0f} {w * 0.08:.0f},{h * 0.04:.0f} 180,360"], 0.8)
    p.paint("#4a3a28", [f"rectangle {px - 2:.0f},{py - h * 0.18:.0f} {px + 2:.0f},{py:.0f}"], 0.5)


def scene_macro(p):
    w, h, r = p.w, p.h, p.rng
    p.args += ["-size", p.size(), "-seed", p.seed(), "plasma:fractal", "-blur", f"0x{min(w, h) * 0.02:.0f}",
               "-swirl", str(r.randint(120, 300)), "-modulate", f"100,{r.randint(110, 150)},100",
               "-sigmoidal-contrast", "4x50%"]
    p.glow(w * r.uniform(0.3, 0.7), h * r.uniform(0.3, 0.7), min(w, h) * 0.08, "#ffffff", min(w, h) * 0.06)
    # Shallow depth of field: the edges go soft.
    p.args += ["(", "+clone", "-blur", f"0x{min(w, h) * 0.02:.0f}", "(", "-size", p.size(),
               "radial-gradient:black-white", ")", "-alpha", "off", "-compose", "CopyOpacity", "-composite",
               ")", "-compose", "Over", "-composite"]


SCENES = {
    "mountains": scene_mountains,
    "sunset": scene_sunset,
    "bokeh": scene_bokeh,
    "forest": scene_forest,
    "fruit": scene_fruit,
    "city": scene_city,
    "beach": scene_beach,
    "macro": scene_macro,
}


def make_photo(scene, width_px, height_px, seed, quality, grain, orientation, out_path):
    rng = random.Random(f"{scene}/{seed}")
    shrink = min(1.0, WORK_LONG_SIDE_PX / max(width_px, height_px))
    p = Painter(max(1, round(width_px * shrink)), max(1, round(height_px * shrink)), rng)
    SCENES[scene](p)
    cmd = [convert_cmd(), "-seed", str(seed)] + p.args
    # Lens vignette.
    cmd += ["(", "-size", p.size(), "radial-gradient:white-grey55", ")", "-compose", "Multiply", "-composite"]
    if shrink < 1.0:
        cmd += ["-resize", f"{width_px}x{height_px}!"]
    # Sensor grain at full size: this is what gives a camera JPEG its size.
    if grain > 0:
        cmd += ["-attenuate", str(grain), "+noise", "Gaussian"]
    if orientation == 6:
        cmd += ["-rotate", "-90"]  # stored a quarter counter-clockwise; the tag turns it back clockwise
    cmd += ["-depth", "8", "-sampling-factor", "2x2", "-quality", str(quality), "-strip", out_path]
    run(cmd)
    if orientation == 6:
        run(["exiftool", "-q", "-overwrite_original", "-n", "-Orientation=6", out_path])


def make_frame(width_px, height_px, out_path):
    """A decorative frame: an opaque gilded border, a fully transparent centre and a soft inner edge."""
    border = round(min(width_px, height_px) * 0.09)
    feather = max(1.0, border * 0.25)
    # The clear hole starts one feather inside the border, so the blur fades inwards and the whole
    # border stays opaque (the level step below clips the blur's faint tail to full opacity).
    hole = border + feather
    inner = f"roundrectangle {hole:.0f},{hole:.0f} {width_px - 1 - hole:.0f},{height_px - 1 - hole:.0f} " \
            f"{border * 0.8:.0f},{border * 0.8:.0f}"
    size = f"{width_px}x{height_px}"
    cmd = [convert_cmd(), "-seed", "11",
           # gilded texture with a carved groove half way through the border
           "-size", size, "plasma:grey35-grey65", "-colorspace", "gray", "-auto-level", "-blur", "0x2.5",
           "-colorspace", "sRGB", "-type", "TrueColor", "+level-colors", "#6b4a12,#f2d27a",
           # a rosette in each corner
           "(", "-size", size, "xc:none", "-fill", "#8a5a10", "-stroke", "#f8e6a8", "-strokewidth", "2",
           ] + [arg for cx, cy in ((border / 2, border / 2), (width_px - border / 2, border / 2),
                                   (border / 2, height_px - border / 2), (width_px - border / 2, height_px - border / 2))
                for arg in ("-draw", f"circle {cx:.0f},{cy:.0f} {cx + border * 0.32:.0f},{cy:.0f}")] + [
           "-blur", "0x0.7", ")", "-compose", "Over", "-composite",
           "(", "-size", size, "xc:none", "-fill", "none", "-stroke", "#3a2606", "-strokewidth",
           str(max(2, border // 8)), "-draw",
           f"roundrectangle {border // 2},{border // 2} {width_px - 1 - border // 2},{height_px - 1 - border // 2} "
           f"{border // 2},{border // 2}", "-blur", "0x1", ")", "-compose", "Over", "-composite",
           # opacity: opaque border, transparent centre, feathered inner edge
           "(", "-size", size, "xc:white", "-fill", "black", "-draw", inner, "-blur", f"0x{feather:.1f}",
           "-level", "0%,90%",
           ")", "-alpha", "off", "-compose", "CopyOpacity", "-composite",
           # hidden colour under fully transparent pixels compresses to nothing
           "-background", "black", "-alpha", "background",
           "-depth", "8", "-define", "png:color-type=6", out_path]
    run(cmd)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--scene", choices=sorted(SCENES))
    ap.add_argument("--size", default="800x600", help="WIDTHxHEIGHT of the upright picture, pixels")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--quality", type=int, default=85, help="JPEG quality 1..100")
    ap.add_argument("--grain", type=float, default=2.0, help="Gaussian grain strength, 0 = none")
    ap.add_argument("--orientation", type=int, choices=(1, 6), default=1)
    ap.add_argument("--frame", action="store_true", help="make the frame PNG instead of a photo")
    ap.add_argument("--list", action="store_true", help="print the scene names")
    ap.add_argument("out", nargs="?")
    a = ap.parse_args()
    if a.list:
        print("\n".join(sorted(SCENES)))
        return 0
    try:
        width_px, height_px = (int(v) for v in a.size.lower().split("x"))
    except ValueError:
        ap.error(f"--size wants WIDTHxHEIGHT, got {a.size!r}")
    if width_px < 16 or height_px < 16 or not a.out:
        ap.error("need OUT and a size of at least 16x16")
    os.makedirs(os.path.dirname(os.path.abspath(a.out)), exist_ok=True)
    if a.frame:
        make_frame(width_px, height_px, a.out)
    elif a.scene:
        make_photo(a.scene, width_px, height_px, a.seed, a.quality, a.grain, a.orientation, a.out)
    else:
        ap.error("need --scene or --frame")
    return 0


if __name__ == "__main__":
    sys.exit(main())
