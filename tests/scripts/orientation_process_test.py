#!/usr/bin/env python3
"""Photos stored turned or mirrored (EXIF orientations 1 to 8, little- and big-endian EXIF) come out
upright on every path of the built host, as the interface drives it: printed directly on the built-in PDF
printer (the PDF rendered back), baked for printing, and composed into a sheet by the in-process composer
(the host run from a folder without the helper program).

    orientation_process_test.py BIN_FOLDER

Needs ImageMagick's convert, exiftool and poppler's pdftoppm.
"""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from pictavera_client import Host  # noqa: E402

# The upright picture: 200 x 300, four quadrants, so that every turn and mirror shows.
QUADRANTS = {"top-left": "#ff0000", "top-right": "#00ff00", "bottom-left": "#0000ff", "bottom-right": "#ffff00"}
UPRIGHT_PX = (200, 300)
DPI = 100  # 50.8 x 76.2 mm: printed at that size on A6
A6_MM = (105, 148)
# ImageMagick operation that stores the upright picture so that orientation o shows it upright again.
STORE = {1: [], 2: ["-flop"], 3: ["-rotate", "180"], 4: ["-flip"], 5: ["-transpose"], 6: ["-rotate", "-90"],
         7: ["-transverse"], 8: ["-rotate", "90"]}


def run(args, **kwargs):
    return subprocess.run(args, check=True, capture_output=True, text=True, **kwargs).stdout


def make_photo(work, orientation, byte_order):
    path = os.path.join(work, f"o{orientation}-{byte_order}.jpg")
    w, h = UPRIGHT_PX
    run(["convert", "(", "-size", f"{w // 2}x{h // 2}", "xc:" + QUADRANTS["top-left"], "xc:" + QUADRANTS["top-right"],
         "+append", ")", "(", "-size", f"{w // 2}x{h // 2}", "xc:" + QUADRANTS["bottom-left"],
         "xc:" + QUADRANTS["bottom-right"], "+append", ")", "-append", *STORE[orientation], "-quality", "95",
         "-density", str(DPI), "-units", "PixelsPerInch", path])
    run(["exiftool", "-q", "-overwrite_original", "-n", f"-ExifByteOrder={byte_order}",
         f"-Orientation={orientation}", path])
    return path


def colours_at(path, box):
    """The colour of each quadrant's centre of the upright picture found in `box` (x, y, w, h) of `path`."""
    x, y, w, h = box
    points = {name: (x + w * (1 if "left" in name else 3) // 4, y + h * (1 if "top" in name else 3) // 4)
              for name in QUADRANTS}
    spec = ",".join(f"%[fx:int(255*p{{{px},{py}}}.{c})]" for px, py in points.values() for c in "rgb")
    values = [int(v) for v in run(["convert", path, "-format", spec, "info:"]).split(",")]
    return {name: tuple(values[3 * i:3 * i + 3]) for i, name in enumerate(points)}


def wrong_quadrants(found):
    wrong = []
    for name, rgb in found.items():
        want = tuple(int(QUADRANTS[name][i:i + 2], 16) for i in (1, 3, 5))
        if any(abs(a - b) > 60 for a, b in zip(rgb, want)):
            wrong.append(f"{name} {rgb} (want {QUADRANTS[name]})")
    return wrong


def main(argv):
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    bin_folder = os.path.abspath(argv[0])
    failures = []
    with tempfile.TemporaryDirectory(prefix="orientation-test-") as work:
        photos = {(o, order): make_photo(work, o, order) for o in range(1, 9) for order in ("II", "MM")}
        # A host without the helper beside it composes sheets itself.
        alone = os.path.join(work, "alone")
        os.mkdir(alone)
        shutil.copy(os.path.join(bin_folder, "pictavera"), alone)
        pdf_folder = os.path.join(work, "pdf")
        env = dict(os.environ, PICTAVERA_TEMP_DIR=os.path.join(work, "temp"), PICTAVERA_PDF_DIR=pdf_folder,
                   HOME=work, XDG_CONFIG_HOME=os.path.join(work, "config"),
                   CUPS_SERVER=os.path.join(work, "no-cups.sock"))
        log_path = os.path.join(work, "host.log")
        names = list(photos)
        with open(log_path, "wb") as log, Host([os.path.join(alone, "pictavera"), "serve", "--stdio"], env=env,
                                               stderr=log) as host:
            printed = host.wait(host.send("printing_channel", "printWithLayoutWindows", {
                "imagePaths": [photos[n] for n in names], "printerName": "PictaVera PDF",
                "paperSize": {"width": A6_MM[0], "height": A6_MM[1]}}), timeout=120)
            baked = host.wait(host.send("printing_channel", "bakeImagesForPrinting", {"requests": [
                {"sourcePath": photos[n], "canvasWidth": UPRIGHT_PX[0], "canvasHeight": UPRIGHT_PX[1],
                 "imageScale": 1.0, "offsetX": 0.0, "offsetY": 0.0} for n in names]}), timeout=120)
            sheets = [os.path.join(work, f"sheet-{o}-{order}.jpg") for o, order in names]
            composed = [host.wait(host.send("printing_channel", "createGridImages", {
                "imagePaths": [photos[n]], "outputPaths": [sheet], "rows": 1, "columns": 1,
                "pageWidth": UPRIGHT_PX[0], "pageHeight": UPRIGHT_PX[1], "marginLeft": 0, "marginRight": 0,
                "marginTop": 0, "marginBottom": 0, "jpegQuality": 95}), timeout=60)
                for n, sheet in zip(names, sheets)]
            # The shell's print method prints through the same job, into a PDF of its own.
            before = set(os.listdir(pdf_folder)) if os.path.isdir(pdf_folder) else set()
            shell_photo = photos[(7, "MM")]
            shell_printed = host.wait(host.send("printing_channel", "printToPrinterWindows", {
                "imagePaths": [shell_photo], "printerName": "PictaVera PDF"}), timeout=60)
            shell_pdfs = sorted(set(os.listdir(pdf_folder)) - before) if os.path.isdir(pdf_folder) else []
        log = open(log_path, encoding="utf-8", errors="replace").read()

        # Printed: one A6 page per photo, the picture at its true size in the page's middle.
        if printed != {"success": True}:
            failures.append(f"printWithLayoutWindows answered {printed}")
        pdfs = sorted(set(os.listdir(pdf_folder)) - set(shell_pdfs)) if os.path.isdir(pdf_folder) else []
        if shell_printed != {"success": True} or len(shell_pdfs) != 1:
            failures.append(f"printToPrinterWindows answered {shell_printed}, new PDFs {shell_pdfs}")
        else:
            run(["pdftoppm", "-r", str(DPI), "-png", "-singlefile", os.path.join(pdf_folder, shell_pdfs[0]),
                 os.path.join(work, "shell")])
            size = run(["identify", "-format", "%w %h", os.path.join(work, "shell.png")]).split()
            # Fitted to the default A4 page: the picture's middle is the page's middle, its quadrants around it.
            pw, ph = int(size[0]), int(size[1])
            for wrong in wrong_quadrants(colours_at(os.path.join(work, "shell.png"), (pw // 2 - 20, ph // 2 - 30, 40, 60))):
                failures.append(f"shell-printed orientation (7, 'MM'): {wrong}")
        if len(pdfs) == 1:
            run(["pdftoppm", "-r", str(DPI), "-png", os.path.join(pdf_folder, pdfs[0]), os.path.join(work, "page")])
            pages = sorted(p for p in os.listdir(work) if p.startswith("page"))
            if len(pages) != len(names):
                failures.append(f"{len(pages)} pages printed, expected {len(names)}")
            for n, page in zip(names, pages):
                size = run(["identify", "-format", "%w %h", os.path.join(work, page)]).split()
                pw, ph = int(size[0]), int(size[1])
                box = ((pw - UPRIGHT_PX[0]) // 2, (ph - UPRIGHT_PX[1]) // 2, *UPRIGHT_PX)
                for wrong in wrong_quadrants(colours_at(os.path.join(work, page), box)):
                    failures.append(f"printed orientation {n}: {wrong}")
        else:
            failures.append(f"expected one PDF, found {pdfs}")

        # Baked: each canvas shows the upright picture.
        results = (baked or {}).get("success", {}).get("results", []) if isinstance(baked, dict) else []
        if len(results) != len(names):
            failures.append(f"bakeImagesForPrinting answered {baked}")
        for n, result in zip(names, results):
            if not result.get("success"):
                failures.append(f"bake of orientation {n} failed: {result}")
                continue
            for wrong in wrong_quadrants(colours_at(result["bakedPath"], (0, 0, *UPRIGHT_PX))):
                failures.append(f"baked orientation {n}: {wrong}")

        # Composed in-process: each one-magnet sheet shows the upright picture.
        if "DEBUG C++: GridComposer" not in log:
            failures.append("the sheets were not composed in-process")
        for n, sheet, reply in zip(names, sheets, composed):
            if reply != {"success": True}:
                failures.append(f"createGridImages for orientation {n} answered {reply}")
                continue
            for wrong in wrong_quadrants(colours_at(sheet, (0, 0, *UPRIGHT_PX))):
                failures.append(f"composed orientation {n}: {wrong}")
    for failure in failures:
        print("FAIL " + failure, file=sys.stderr)
    if failures:
        print("host log (end):\n" + log[-3000:], file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
