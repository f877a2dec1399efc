#!/usr/bin/env python3
"""Magnets designed in millimetres, through the built host as the interface drives it: planMagnetSheets for
a printer's paper, createGridImages with the plan's request, printWithLayoutWindows, and the printed page
rendered and measured.

  1. 50 mm squares on A4 on the built-in PDF printer, 3 mm gaps, crop marks, seven photos (one unreadable,
     one too small): the preflight names both; every magnet measures 50 mm, the grid is centred on the
     paper, the marks lie on the cut lines and never on a photo, the empty cells (and the unreadable
     photo's) are white.
  2. 2 x 3 in magnets with a 1 mm bleed on A4 on a CUPS queue whose paper has 4.2 mm margins: the marks
     are 2 x 3 in apart, the photos reach 1 mm beyond them, the grid is centred in the printable area.
  3. 35 x 45 mm magnets on borderless 4x6 on a CUPS queue: the sheet covers the whole paper.

    magnet_plan_process_test.py BIN_FOLDER CUPS_SANDBOX_SCRIPT

Needs ImageMagick's convert and poppler's pdftoppm; the CUPS cases are skipped (with a line saying so)
when the private scheduler cannot start.
"""
import glob
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from pictavera_client import Host  # noqa: E402

RENDER_DPI = 600
PHOTO_GREY = (110, 215)   # a photo's grey level on the rendered page (#e08080)
DARK = 70                 # crop marks are black
MM_TOLERANCE = 0.1
CENTRE_TOLERANCE = 0.2

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def mm(px):
    return px * 25.4 / RENDER_DPI


def px(millimetres):
    return int(round(millimetres * RENDER_DPI / 25.4))


class Page:
    """Page 1 of a PDF rendered grey at RENDER_DPI."""

    def __init__(self, pdf, work):
        prefix = os.path.join(work, "page")
        subprocess.run(["pdftoppm", "-r", str(RENDER_DPI), "-gray", "-f", "1", "-l", "1", pdf, prefix], check=True)
        data = open(glob.glob(prefix + "*.pgm")[0], "rb").read()
        fields, at = [], 0
        while len(fields) < 4:  # "P5", width, height, maximum, separated by white space
            while data[at:at + 1].isspace():
                at += 1
            start = at
            while not data[at:at + 1].isspace():
                at += 1
            fields.append(data[start:at])
        self.width, self.height = int(fields[1]), int(fields[2])
        self.pixels = data[at + 1:]
        for path in glob.glob(prefix + "*.pgm"):
            os.remove(path)

    def row(self, y):
        return self.pixels[y * self.width:(y + 1) * self.width]

    def column(self, x):
        return self.pixels[x::self.width][:self.height]

    def darkest(self, x0, y0, x1, y1):
        x0, y0, x1, y1 = max(x0, 0), max(y0, 0), min(x1, self.width), min(y1, self.height)
        return min((min(self.row(y)[x0:x1]) for y in range(y0, y1)), default=255)


def runs(line, test):
    """(start, end) of each run of pixels that pass `test`, at least 20 pixels long."""
    found, start = [], None
    for i, value in enumerate(line):
        if test(value) and start is None:
            start = i
        elif not test(value) and start is not None:
            if i - start >= 20:
                found.append((start, i))
            start = None
    if start is not None and len(line) - start >= 20:
        found.append((start, len(line)))
    return found


def is_photo(value):
    return PHOTO_GREY[0] <= value <= PHOTO_GREY[1]


def call(host, method, arguments, timeout=120):
    reply = host.wait(host.send("printing_channel", method, arguments), timeout=timeout)
    check(reply is not None and "success" in reply, f"{method} answered {reply}")
    return (reply or {}).get("success")


def make_photos(work, count, size="1200x1200"):
    photos = []
    for i in range(count):
        photos.append(os.path.join(work, f"photo{i}.jpg"))
        subprocess.run(["convert", "-size", size, "xc:#e08080", photos[-1]], check=True)
    return photos


def compose(host, plan, photos, work, name):
    request = dict(plan["request"], imagePaths=photos,
                   outputPaths=[os.path.join(work, f"{name}_{n}.jpg") for n in range(1, plan["sheetsNeeded"] + 1)])
    check(call(host, "createGridImages", request) is True, f"{name}: the sheets were not composed")
    return request["outputPaths"]


def check_centred(name, extent_mm, area_mm, axis):
    """The middle of `extent_mm` (start, end) against the middle of the printable area along `axis`."""
    start, length = (area_mm["left"], area_mm["width"]) if axis == "x" else (area_mm["top"], area_mm["height"])
    off = (extent_mm[0] + extent_mm[1]) / 2 - (start + length / 2)
    check(abs(off) <= CENTRE_TOLERANCE, f"{name}: grid off centre by {off:.3f} mm along {axis}")
    return off


def pdf_printer_case(host, work, pdf_folder):
    photos = make_photos(work, 7)
    photos[5] = os.path.join(work, "broken.jpg")
    open(photos[5], "w").write("not a picture")
    subprocess.run(["convert", "-size", "200x200", "xc:#e08080", photos[6]], check=True)
    plan = call(host, "planMagnetSheets", {
        "magnetWidthMm": 50, "magnetHeightMm": 50, "gapMm": 3, "printerName": "PictaVera PDF", "paperName": "A4",
        "imagePaths": photos, "cutGuides": "marks", "cutGridColor": "black"})
    if not plan:
        return
    warnings = [entry["warnings"] for entry in plan["preflight"]]
    check(warnings == [[]] * 5 + [["unreadable"], ["lowResolution"]], f"preflight warnings {warnings}")
    check(plan["preflight"][5].get("reason", "") != "", "an unreadable photo gives its reason")
    # (2480 + 35) // (591 + 35) = 4 magnets across the 2480-pixel sheet, (3507 + 35) // 626 = 5 down.
    check((plan["rows"], plan["columns"], plan["sheetsNeeded"]) == (5, 4, 1), f"layout {plan['rows']}x{plan['columns']}")
    sheets = compose(host, plan, photos, work, "squares")
    check(call(host, "printWithLayoutWindows", {"imagePaths": sheets, "printerName": "PictaVera PDF",
                                                "paperSize": {"width": 210, "height": 297}}) is True, "printed")
    pdfs = sorted(glob.glob(os.path.join(pdf_folder, "*.pdf")))
    if not check(len(pdfs) == 1, f"one PDF expected, found {pdfs}"):
        return
    page = Page(pdfs[0], work)
    grid = plan["gridOnPaperMm"]
    first_row_y = px(grid["top"] + 25)
    magnets = runs(page.row(first_row_y), is_photo)
    widths = [mm(b - a) for a, b in magnets]
    check(len(widths) == 4 and all(abs(w - 50) <= MM_TOLERANCE for w in widths), f"magnet widths {widths} mm")
    heights = [mm(b - a) for a, b in runs(page.column(magnets[0][0] + px(25)), is_photo)] if magnets else []
    check(len(heights) == 2 and all(abs(h - 50) <= MM_TOLERANCE for h in heights),
          f"magnet heights {heights} mm (two rows filled)")
    print(f"pdf A4 50 mm: widths {[round(w, 3) for w in widths]} heights {[round(h, 3) for h in heights]}")
    if len(magnets) == 4:
        off_x = check_centred("A4 squares", (mm(magnets[0][0]), mm(magnets[-1][1])), plan["printableAreaMm"], "x")
        top = runs(page.column(magnets[0][0] + px(25)), is_photo)[0][0]
        off_y = check_centred("A4 squares", (mm(top), mm(top) + grid["height"]), plan["printableAreaMm"], "y")
        print(f"pdf A4 50 mm: grid off centre {off_x:+.3f} x {off_y:+.3f} mm")
        # Marks in the top margin on the first cut line; none on a photo, none in the empty cells.
        check(page.darkest(magnets[0][0] - 2, 0, magnets[0][0] + 3, top - px(0.5)) < DARK, "no mark on the first cut")
        for a, b in magnets:
            check(page.darkest(a + 2, top + 2, b - 2, top + (b - a) - 2) >= DARK, "a mark lies on a photo")
        cell = magnets[1][1] - magnets[1][0]
        pitch = magnets[1][0] - magnets[0][0]
        for row, col in [(1, 1), (1, 3)] + [(r, c) for r in (2, 3, 4) for c in range(4)]:
            x, y = magnets[0][0] + col * pitch, top + row * pitch
            check(page.darkest(x + 2, y + 2, x + cell - 2, y + cell - 2) > 235, f"empty cell {row},{col} is not white")


def cups_cases(host, work, sandbox_out):
    photos = make_photos(work, 10, "1800x1200")  # a full sheet either way: 3 x 3 or 2 x 5
    plan = call(host, "planMagnetSheets", {
        "magnetWidthMm": 50.8, "magnetHeightMm": 76.2, "gapMm": 4, "bleedMm": 1, "printerName": "PV_Office",
        "paperName": "A4", "imagePaths": photos, "cutGridColor": "black"})
    if plan:
        area = plan["printableAreaMm"]
        check(abs(area["left"] - 12 * 25.4 / 72) < 0.01, f"printable area {area}")
        check(plan["request"]["cutGuides"] == "marks", "a bleed plan asks for crop marks")
        sheets = compose(host, plan, photos, work, "office")
        before = set(glob.glob(os.path.join(sandbox_out, "*.pdf")))
        call(host, "printWithLayoutWindows", {"imagePaths": sheets, "printerName": "PV_Office",
                                              "paperSize": {"width": 210, "height": 297}})
        jobs = []
        for _ in range(100):
            jobs = sorted(set(glob.glob(os.path.join(sandbox_out, "*.pdf"))) - before)
            if jobs:
                break
            subprocess.run(["sleep", "0.1"])
        if check(len(jobs) == 1, "the CUPS queue received no job"):
            page = Page(jobs[0], work)
            grid = plan["gridOnPaperMm"]
            # A sheet that lies across the paper is turned onto it: its magnets stand 3 in wide on the page.
            across, wide = (plan["rows"], 76.2) if plan["orientation"] == "landscape" else (plan["columns"], 50.8)
            photos_across = runs(page.row(px(grid["top"] + 10)), is_photo)
            # The marks in the top margin, half-way along their length, show where the magnets are cut.
            line = page.row(px(grid["top"] - plan["bleedMm"] - 1.5))
            starts = [i for i in range(1, len(line)) if line[i] < DARK <= line[i - 1]]
            ends = [i for i in range(1, len(line)) if line[i - 1] < DARK <= line[i]]
            centres = [mm((a + b) / 2) for a, b in zip(starts, ends)]
            magnets = [centres[i + 1] - centres[i] for i in range(0, len(centres) - 1, 2)]
            bleeds = [(mm(b - a) - m) / 2 for (a, b), m in zip(photos_across, magnets)]
            check(len(magnets) == across and all(abs(m - wide) <= MM_TOLERANCE for m in magnets),
                  f"2x3 in magnets between the marks {magnets} mm")
            check(bleeds and all(abs(b - 1.0) <= MM_TOLERANCE for b in bleeds), f"bleeds {bleeds} mm")
            off = check_centred("A4 2x3 in", (centres[0], centres[-1]), area, "x") if centres else 0
            print(f"cups A4 2x3 in ({plan['orientation']}, {plan['rows']}x{plan['columns']}): magnets between marks "
                  f"{[round(m, 3) for m in magnets]} mm, bleed {[round(b, 3) for b in bleeds]} mm, "
                  f"grid off centre {off:+.3f} mm")

    papers = call(host, "getPrinterCapabilitiesWindows", {"printerName": "PV_Photo"}) or {}
    borderless = [p["name"] for p in papers.get("supportedPaperSizes", []) if "orderless" in p["name"]]
    if check(borderless, f"no borderless paper on PV_Photo: {papers}"):
        plan = call(host, "planMagnetSheets", {"magnetWidthMm": 35, "magnetHeightMm": 45, "printerName": "PV_Photo",
                                               "paperName": borderless[0], "imageCount": 6})
        if plan:
            check(sorted((plan["sheetWidthPx"], plan["sheetHeightPx"])) == [1200, 1800],
                  f"borderless sheet {plan['sheetWidthPx']}x{plan['sheetHeightPx']} px")
            check(plan["printableAreaMm"]["left"] == 0, "a borderless paper has no margins")
            print(f"cups borderless 4x6 35x45 mm ({plan['orientation']}): {plan['rows']}x{plan['columns']}, magnets "
                  f"{plan['magnetWidthMm']:.3f}x{plan['magnetHeightMm']:.3f} mm")
    too_large = host.wait(host.send("printing_channel", "planMagnetSheets", {
        "magnetWidthMm": 120, "magnetHeightMm": 120, "printerName": "PV_Photo", "paperName": "4x6", "imageCount": 1}))
    check((too_large or {}).get("error", {}).get("code") == "MAGNET_TOO_LARGE", f"too large: {too_large}")


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    host_program = os.path.join(os.path.abspath(argv[0]), "pictavera")
    # The scheduler runs as another user when the test runs as root: its folder is one of its own.
    with tempfile.TemporaryDirectory(prefix="magnet-plan-test-") as work, \
            tempfile.TemporaryDirectory(prefix="magnet-plan-cups-") as sandbox:
        started = subprocess.run([argv[1], "start", sandbox], capture_output=True, text=True)
        env = dict(os.environ, PICTAVERA_TEMP_DIR=os.path.join(work, "temp"),
                   PICTAVERA_PDF_DIR=os.path.join(work, "pdf"), XDG_CONFIG_HOME=os.path.join(work, "config"))
        if started.returncode == 0:
            for part in started.stdout.strip().removeprefix("export ").split(" "):
                key, value = part.split("=", 1)
                env[key] = value.strip("'")
        else:
            print(f"SKIP the CUPS cases: the private scheduler did not start: {started.stderr.strip()}")
            env.update(HOME=work, CUPS_SERVER=os.path.join(work, "no-cups.sock"))
        try:
            with open(os.path.join(work, "host.log"), "wb") as log, \
                    Host([host_program, "serve", "--stdio"], env=env, stderr=log) as host:
                pdf_printer_case(host, work, env["PICTAVERA_PDF_DIR"])
                if started.returncode == 0:
                    cups_cases(host, work, os.path.join(sandbox, "out"))
        finally:
            if started.returncode == 0:
                subprocess.run([argv[1], "stop", sandbox])
        if failures:
            print(open(os.path.join(work, "host.log"), errors="replace").read()[-3000:], file=sys.stderr)
    for failure in failures:
        print("FAIL " + failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
