#!/usr/bin/env python3
"""The printing channel driven through the built host as the interface drives it: five small photos
composed into two 2 x 2 sheets by the helper program beside the host, then the sheets printed on the
built-in PDF printer on A6 paper. The PDF must have one page per sheet, every page A6, and each sheet
placed at the physical size its file states (100 dpi). A sheet whose request names no dpi states no
resolution and prints fitted to the page. A background sheet job, polled to its end, composes the photos
it can use and names the others with why.

    print_sheet_process_test.py BIN_FOLDER

Needs ImageMagick's convert (the photos, the sheets' pixels) and poppler's pdfinfo and pdfimages.
"""
import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from pictavera_client import Host  # noqa: E402

COLOURS = ["#ff0000", "#00ff00", "#0000ff", "#ffff00", "#ff00ff"]  # one solid photo each
CELL_PX = (150, 200)            # each photo, and each cell of the sheet (no margins)
SHEET_PX = (300, 400)           # 2 x 2 cells
SHEET_DPI = 100                 # so a sheet is 76.2 x 101.6 mm: it fits A6 at its own size
A6_MM = (105, 148)
A6_PT = (105 / 25.4 * 72, 148 / 25.4 * 72)


def pixels(path, points):
    """The (r, g, b) of each of `points`, read by ImageMagick in one run."""
    channels = ",".join(f"%[fx:int(255*p{{{x},{y}}}.{c})]" for x, y in points for c in "rgb")
    values = [int(v) for v in subprocess.run(["convert", path, "-format", channels, "info:"], check=True,
                                             capture_output=True, text=True).stdout.split(",")]
    return [tuple(values[i:i + 3]) for i in range(0, len(values), 3)]


def near(rgb, hex_colour, tolerance=40):
    want = tuple(int(hex_colour[i:i + 2], 16) for i in (1, 3, 5))
    return all(abs(a - b) <= tolerance for a, b in zip(rgb, want))


def jfif_density(path):
    """(units, x density, y density) of a JPEG's JFIF segment, or None."""
    data = open(path, "rb").read(20)
    if data[:2] != b"\xff\xd8" or data[6:11] != b"JFIF\0":
        return None
    return data[13], int.from_bytes(data[14:16], "big"), int.from_bytes(data[16:18], "big")


def background_job(host, work, photos, failures):
    """A background sheet job with a missing and a damaged photo among good ones, polled to its end: the
    sheet is written with those two cells white, the result names them with why; an unknown job number is
    refused."""
    missing = os.path.join(work, "missing.jpg")
    damaged = os.path.join(work, "damaged.jpg")
    with open(photos[0], "rb") as good, open(damaged, "wb") as cut:
        cut.write(good.read(300))  # a JPEG file cut off inside its header
    sheet = os.path.join(work, "background.jpg")
    started = host.wait(host.send("printing_channel", "createGridImagesFastAsync", {
        "imagePaths": [photos[0], missing, damaged, photos[1]], "outputPaths": [sheet], "rows": 2, "columns": 2,
        "pageWidth": SHEET_PX[0], "pageHeight": SHEET_PX[1], "marginLeft": 0, "marginRight": 0, "marginTop": 0,
        "marginBottom": 0, "jpegQuality": 95}), timeout=30)
    job = (started or {}).get("success")
    if not isinstance(job, int):
        failures.append(f"createGridImagesFastAsync answered {started}")
        return
    status, deadline = None, time.monotonic() + 60
    while time.monotonic() < deadline:
        status = host.wait(host.send("printing_channel", "checkGridJobStatus", job), timeout=10)
        if not isinstance((status or {}).get("success"), dict) or status["success"].get("completed"):
            break
        time.sleep(0.05)
    result = (status or {}).get("success")
    if not isinstance(result, dict) or result.get("completed") is not True:
        failures.append(f"background job {job}: last status {status}")
        return
    expected = {"completed": True, "success": True, "errorMessage": "",
                "failedImages": [{"index": 1, "reason": "file not found"}, {"index": 2, "reason": "damaged data"}]}
    if {k: result.get(k) for k in expected} != expected or not isinstance(result.get("totalTimeMs"), int):
        failures.append(f"background job {job} ended with {result}")
    if not os.path.isfile(sheet):
        failures.append("the background job wrote no sheet")
    else:
        centres = [((c % 2) * CELL_PX[0] + CELL_PX[0] // 2, (c // 2) * CELL_PX[1] + CELL_PX[1] // 2) for c in range(4)]
        for cell, (found, colour) in enumerate(zip(pixels(sheet, centres), [COLOURS[0], "#ffffff", "#ffffff", COLOURS[1]])):
            if not near(found, colour):
                failures.append(f"background sheet cell {cell}: {found}, expected {colour}")
    unknown = host.wait(host.send("printing_channel", "checkGridJobStatus", job + 1000), timeout=10)
    if (unknown or {}).get("error", {}).get("code") != "JOB_NOT_FOUND":
        failures.append(f"an unknown job number answered {unknown}")


def main(argv):
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    host_program = os.path.join(os.path.abspath(argv[0]), "pictavera")
    failures = []
    with tempfile.TemporaryDirectory(prefix="print-sheet-test-") as work:
        photos = []
        for i, colour in enumerate(COLOURS):
            photos.append(os.path.join(work, f"photo{i}.jpg"))
            subprocess.run(["convert", "-size", f"{CELL_PX[0]}x{CELL_PX[1]}", f"xc:{colour}", photos[-1]], check=True)
        sheets = [os.path.join(work, f"sheet_{i}.jpg") for i in (1, 2)]
        pdf_folder = os.path.join(work, "pdf")
        env = dict(os.environ, PICTAVERA_TEMP_DIR=os.path.join(work, "temp"), PICTAVERA_PDF_DIR=pdf_folder,
                   HOME=work, XDG_CONFIG_HOME=os.path.join(work, "config"),
                   CUPS_SERVER=os.path.join(work, "no-cups.sock"))  # no scheduler: the built-in printer only
        log_path = os.path.join(work, "host.log")
        with open(log_path, "wb") as log, Host([host_program, "serve", "--stdio"], env=env, stderr=log) as host:
            sheet_reply = host.wait(host.send("printing_channel", "createGridImages", {
                "imagePaths": photos, "outputPaths": sheets, "rows": 2, "columns": 2, "pageWidth": SHEET_PX[0],
                "pageHeight": SHEET_PX[1], "marginLeft": 0, "marginRight": 0, "marginTop": 0, "marginBottom": 0,
                "jpegQuality": 95, "dpi": float(SHEET_DPI)}), timeout=60)
            print_reply = None
            if sheet_reply == {"success": True}:
                print_reply = host.wait(host.send("printing_channel", "printWithLayoutWindows", {
                    "imagePaths": sheets, "printerName": "PictaVera PDF",
                    "paperSize": {"width": A6_MM[0], "height": A6_MM[1]}}), timeout=60)
            # A request that names no dpi: the sheet states no resolution and prints fitted to the page.
            plain_sheet = os.path.join(work, "plain.jpg")
            plain_reply = host.wait(host.send("printing_channel", "createGridImages", {
                "imagePaths": photos[:1], "outputPaths": [plain_sheet], "rows": 2, "columns": 2,
                "pageWidth": SHEET_PX[0], "pageHeight": SHEET_PX[1], "marginLeft": 0, "marginRight": 0,
                "marginTop": 0, "marginBottom": 0, "jpegQuality": 95}), timeout=60)
            pdfs_before = set(os.listdir(pdf_folder)) if os.path.isdir(pdf_folder) else set()
            plain_print = host.wait(host.send("printing_channel", "printWithLayoutWindows", {
                "imagePaths": [plain_sheet], "printerName": "PictaVera PDF",
                "paperSize": {"width": A6_MM[0], "height": A6_MM[1]}}), timeout=60)
            plain_pdfs = sorted(set(os.listdir(pdf_folder)) - pdfs_before) if os.path.isdir(pdf_folder) else []
            background_job(host, work, photos, failures)
        log = open(log_path, encoding="utf-8", errors="replace").read()

        # The sheets: made by the helper (not the in-process fallback), each photo in its cell.
        if sheet_reply != {"success": True}:
            failures.append(f"createGridImages answered {sheet_reply}")
        if "DEBUG C++: mosalith completed in" not in log:
            failures.append("the sheets were not composed by mosalith")
        for n, sheet in enumerate(sheets):
            if not os.path.isfile(sheet):
                failures.append(f"sheet {sheet} was not written")
                continue
            if jfif_density(sheet) != (1, SHEET_DPI, SHEET_DPI):
                failures.append(f"{sheet}: JFIF density {jfif_density(sheet)}, expected {SHEET_DPI} dpi")
            colours = COLOURS[n * 4:n * 4 + 4]
            centres = [((c % 2) * CELL_PX[0] + CELL_PX[0] // 2, (c // 2) * CELL_PX[1] + CELL_PX[1] // 2)
                       for c in range(len(colours))]
            for cell, (found, colour) in enumerate(zip(pixels(sheet, centres), colours)):
                if not near(found, colour):
                    failures.append(f"{sheet} cell {cell}: {found}, expected {colour}")

        # Without dpi: no JFIF density, and the sheet fills the A6 page's width (300 px over 105 mm).
        if plain_reply != {"success": True} or plain_print != {"success": True} or len(plain_pdfs) != 1:
            failures.append(f"the sheet without dpi: {plain_reply}, printed {plain_print}, PDFs {plain_pdfs}")
        else:
            density = jfif_density(plain_sheet)
            if density is not None and density[0] != 0:
                failures.append(f"the sheet without dpi states a density: {density}")
            listed = subprocess.run(["pdfimages", "-list", os.path.join(pdf_folder, plain_pdfs[0])], check=True,
                                    capture_output=True, text=True).stdout.splitlines()[2:]
            ppi = [int(line.split()[12]) for line in listed]
            fitted_ppi = round(SHEET_PX[0] / (A6_MM[0] / 25.4))
            if len(ppi) != 1 or abs(ppi[0] - fitted_ppi) > 1:
                failures.append(f"the sheet without dpi printed at {ppi} ppi, expected fitted at {fitted_ppi}")

        # The print: one PDF, one A6 page per sheet, each sheet at its own 100 dpi.
        if print_reply != {"success": True}:
            failures.append(f"printWithLayoutWindows answered {print_reply}")
        pdfs = sorted(set(os.listdir(pdf_folder)) - set(plain_pdfs)) if os.path.isdir(pdf_folder) else []
        if len(pdfs) != 1 or not pdfs[0].endswith(".pdf"):
            failures.append(f"expected one PDF in the output folder, found {pdfs}")
        else:
            pdf = os.path.join(pdf_folder, pdfs[0])
            info = subprocess.run(["pdfinfo", "-f", "1", "-l", "99", pdf], check=True, capture_output=True,
                                  text=True).stdout
            pages = re.search(r"^Pages:\s+(\d+)", info, re.M)
            if not pages or int(pages.group(1)) != len(sheets):
                failures.append(f"expected {len(sheets)} pages:\n{info}")
            sizes = re.findall(r"^Page\s+\d+ size:\s+([\d.]+) x ([\d.]+) pts", info, re.M)
            for page, (width, height) in enumerate(sizes, 1):
                if abs(float(width) - A6_PT[0]) > 0.5 or abs(float(height) - A6_PT[1]) > 0.5:
                    failures.append(f"page {page} is {width} x {height} pt, expected A6 {A6_PT[0]:.1f} x {A6_PT[1]:.1f}")
            images = subprocess.run(["pdfimages", "-list", pdf], check=True, capture_output=True,
                                    text=True).stdout.splitlines()[2:]
            placed = [(int(f[0]), int(f[3]), int(f[4]), int(f[12]), int(f[13])) for f in (line.split() for line in images)]
            expected = [(page, SHEET_PX[0], SHEET_PX[1], SHEET_DPI, SHEET_DPI) for page in range(1, len(sheets) + 1)]
            if placed != expected:
                failures.append(f"images (page, width, height, x-ppi, y-ppi) {placed}, expected {expected}")
    for failure in failures:
        print("FAIL " + failure, file=sys.stderr)
    if failures:
        print("host log:\n" + log[-3000:], file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
