#!/usr/bin/env python3
"""Pictavera.exe driven under Wine as the interface drives it: four small photos composed into one 2 x 2
sheet by mosalith.exe beside the host, the sheet and one photo printed on a queue of the private CUPS
scheduler through the Windows spooler. Run by win32_cups.sh check-job, which then checks what the queue
captured (page count, page size, ink on every page).

    print_sheet_win_test.py EMULATOR PICTAVERA_EXE PRINTER

Paths are given to the host as Wine's drive Z: sees them. Needs ImageMagick's convert for the photos.
"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "scripts"))
from pictavera_client import Host  # noqa: E402

COLOURS = ["#ff0000", "#00ff00", "#0000ff", "#ffff00"]


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    emulator, program, printer = argv
    with tempfile.TemporaryDirectory(prefix="print-sheet-win-") as work:
        photos = []
        for i, colour in enumerate(COLOURS):
            photos.append(os.path.join(work, f"photo {i}.jpg"))
            subprocess.run(["convert", "-size", "150x200", f"xc:{colour}", photos[-1]], check=True)
        sheet = os.path.join(work, "sheet_1.jpg")
        log_path = os.path.join(work, "host.log")
        with open(log_path, "wb") as log, Host([emulator, program, "serve", "--stdio"], stderr=log) as host:
            sheet_reply = host.wait(host.send("printing_channel", "createGridImages", {
                "imagePaths": [windows_path(p) for p in photos], "outputPaths": [windows_path(sheet)],
                "rows": 2, "columns": 2, "pageWidth": 300, "pageHeight": 400, "marginLeft": 0, "marginRight": 0,
                "marginTop": 0, "marginBottom": 0, "jpegQuality": 95, "dpi": 100.0}), timeout=120)
            print_reply = None
            if sheet_reply == {"success": True}:
                print_reply = host.wait(host.send("printing_channel", "printWithLayoutWindows", {
                    "imagePaths": [windows_path(sheet), windows_path(photos[0])], "printerName": printer,
                    "paperSize": {"width": 210, "height": 297}}), timeout=120)
        log = open(log_path, encoding="utf-8", errors="replace").read()
    failures = []
    if sheet_reply != {"success": True}:
        failures.append(f"createGridImages answered {sheet_reply}")
    if "mosalith completed" not in log:
        failures.append("the sheet was not composed by mosalith.exe")
    if print_reply != {"success": True}:
        failures.append(f"printWithLayoutWindows answered {print_reply}")
    for failure in failures:
        print("FAIL " + failure, file=sys.stderr)
    if failures:
        print("host log:\n" + log[-3000:], file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
