#!/usr/bin/env python3
"""Measures printed magnets: for each magnet size, paper and printer, planMagnetSheets, the plan's request
composed (3 mm gaps, crop marks, a full sheet of one photo), printed, the page rendered at 600 dpi and the
magnets measured. Prints one line per case: the magnets' sizes on the page against the size asked, and how
far the grid's middle lies from the middle of the paper's printable area.

    bench/magnet_plan_measure.py BIN_FOLDER

Uses the private CUPS scheduler of the tests (tests/platform/cups/cups_sandbox.sh: a queue whose papers have
4.2 mm margins, 3.2 mm on 4x6, and a borderless 4x6) beside the built-in PDF printer.
"""
import glob
import os
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "scripts"))
sys.path.insert(0, os.path.join(here, "..", "tests", "scripts"))
from pictavera_client import Host  # noqa: E402
import magnet_plan_process_test as measure  # noqa: E402

MAGNETS = [(50, 50), (50.8, 76.2), (35, 45)]
PAPERS = ["A4", "Letter", "4x6"]


def main(argv):
    host_program = os.path.join(os.path.abspath(argv[0]), "pictavera")
    sandbox_script = os.path.join(here, "..", "tests", "platform", "cups", "cups_sandbox.sh")
    worst = {"size": 0.0, "centre": 0.0}
    with tempfile.TemporaryDirectory(prefix="magnet-measure-") as work, \
            tempfile.TemporaryDirectory(prefix="magnet-measure-cups-") as sandbox:
        started = subprocess.run([sandbox_script, "start", sandbox], capture_output=True, text=True, check=True)
        env = dict(os.environ, PICTAVERA_TEMP_DIR=os.path.join(work, "temp"),
                   PICTAVERA_PDF_DIR=os.path.join(work, "pdf"), XDG_CONFIG_HOME=os.path.join(work, "config"))
        for part in started.stdout.strip().removeprefix("export ").split(" "):
            key, value = part.split("=", 1)
            env[key] = value.strip("'")
        photo = measure.make_photos(work, 1, "1600x1600")[0]
        try:
            with open(os.path.join(work, "host.log"), "wb") as log, \
                    Host([host_program, "serve", "--stdio"], env=env, stderr=log) as host:
                capabilities = measure.call(host, "getPrinterCapabilitiesWindows", {"printerName": "PV_Office"})
                borderless = next(p["name"] for p in capabilities["supportedPaperSizes"] if "orderless" in p["name"])
                cases = [(printer, paper, None) for printer in ("PictaVera PDF", "PV_Office") for paper in PAPERS]
                cases.append(("PV_Office", "4x6", borderless))
                for printer, paper, label in cases:
                    for width, height in MAGNETS:
                        run_case(host, work, sandbox, printer, paper, label, (width, height), photo, worst)
        finally:
            subprocess.run([sandbox_script, "stop", sandbox])
    print(f"worst: magnet size {worst['size']:.3f} mm off, grid {worst['centre']:.3f} mm off centre")
    for failure in measure.failures:
        print("FAIL " + failure, file=sys.stderr)
    return 1 if measure.failures else 0


def run_case(host, work, sandbox, printer, paper, label, magnet, photo, worst):
    arguments = {"magnetWidthMm": magnet[0], "magnetHeightMm": magnet[1], "gapMm": 3, "printerName": printer,
                 "paperName": label or paper, "imageCount": 1, "cutGuides": "marks", "cutGridColor": "black"}
    plan = measure.call(host, "planMagnetSheets", arguments)
    if not plan:
        return
    photos = [photo] * plan["magnetsPerSheet"]
    plan["sheetsNeeded"] = 1
    sheets = measure.compose(host, plan, photos, work, "measure")
    pdf_folder = os.path.join(work, "pdf")
    before = set(glob.glob(os.path.join(pdf_folder, "*.pdf")) + glob.glob(os.path.join(sandbox, "out", "*.pdf")))
    # The paper goes by name, so that a borderless paper is the one printed on.
    measure.call(host, "setDefaultPrinterAndPaper", {"printerName": printer, "paperName": plan["paperName"]})
    measure.call(host, "printWithLayoutWindows", {"imagePaths": sheets, "printerName": printer})
    new = []
    for _ in range(100):
        new = sorted(set(glob.glob(os.path.join(pdf_folder, "*.pdf")) +
                         glob.glob(os.path.join(sandbox, "out", "*.pdf"))) - before)
        if new:
            break
        time.sleep(0.1)
    if not measure.check(len(new) == 1, f"{printer} {paper}: no page printed"):
        return
    page = measure.Page(new[0], work)
    os.remove(new[0])
    grid = plan["gridOnPaperMm"]
    landscape = plan["orientation"] == "landscape"
    wide, tall = (magnet[1], magnet[0]) if landscape else magnet
    row = page.row(measure.px(grid["top"] + tall / 2))
    across = measure.runs(row, measure.is_photo)
    if not measure.check(across, f"{printer} {paper} {magnet}: no magnets found"):
        return
    column = page.column(across[0][0] + measure.px(wide / 2))
    down = measure.runs(column, measure.is_photo)
    widths = [measure.mm(b - a) for a, b in across]
    heights = [measure.mm(b - a) for a, b in down]
    size_error = max(abs(w - wide) for w in widths + [wide]) if widths else 99
    size_error = max(size_error, max((abs(h - tall) for h in heights), default=99))
    area = plan["printableAreaMm"]
    off_x = (measure.mm(across[0][0]) + measure.mm(across[-1][1])) / 2 - (area["left"] + area["width"] / 2)
    off_y = (measure.mm(down[0][0]) + measure.mm(down[-1][1])) / 2 - (area["top"] + area["height"] / 2)
    worst["size"] = max(worst["size"], size_error)
    worst["centre"] = max(worst["centre"], abs(off_x), abs(off_y))
    measure.check(size_error <= measure.MM_TOLERANCE, f"{printer} {paper} {magnet}: size off by {size_error:.3f} mm")
    measure.check(max(abs(off_x), abs(off_y)) <= measure.CENTRE_TOLERANCE,
                  f"{printer} {paper} {magnet}: grid off centre {off_x:+.3f} {off_y:+.3f} mm")
    print(f"{printer:14} {plan['paperName']:22} {magnet[0]:5.1f}x{magnet[1]:<5.1f} mm {plan['orientation']:9} "
          f"{plan['columns']}x{plan['rows']}: magnets {min(widths):.3f}-{max(widths):.3f} x "
          f"{min(heights):.3f}-{max(heights):.3f} mm on the page, grid off centre {off_x:+.3f} x {off_y:+.3f} mm, "
          f"printable {area['width']:.1f}x{area['height']:.1f} mm")


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
