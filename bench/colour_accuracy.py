#!/usr/bin/env python3
"""Tagged photos against their sRGB twins through every output a person prints, measured in CIE Lab.

    bench/colour_accuracy.py BUILD_FOLDER [PHOTO.jpg ...]

For each photo (default: samples/beach.jpg and samples/city.jpg, sRGB) three twins are made with
colour_check: the same picture with its numbers converted into Adobe RGB (1998), Display P3 and a
camera-like table profile, each embedded. Each twin goes beside its sRGB original through the built host
(`pictavera call`, as the interface calls it): a 1 x 2 sheet from mosalith and one from the in-process
composer (pictavera copied where no mosalith is beside it), a bake of each, a preview of each, and a PDF
page of each on the built-in PDF printer (rasterised by pdftoppm). For every selection that converts
(srgb, adobe_rgb, custom:<a display P3 profile>) the ΔE2000 mean and 95th percentile between the twin's
output and the original's are printed; the bar is mean <= 1.5 and p95 <= 3. Then no_conversion, where the
twins keep their numbers (and so differ), and an unreadable custom profile (sRGB and one log line).
Needs python3, poppler-utils (pdftoppm) and the build's colour_check (bench/).
"""
import base64
import json
import os
import shutil
import subprocess
import sys
import tempfile

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SHEET = (1200, 600)  # 1 x 2 cells of 600 x 600, no margins


def run(cmd, env=None, check=True):
    return subprocess.run(cmd, env=env, check=check, capture_output=True, text=True)


class Host:
    def __init__(self, program, work):
        self.program = program
        self.env = dict(os.environ, PICTAVERA_TEMP_DIR=os.path.join(work, "temp"),
                        PICTAVERA_PDF_DIR=os.path.join(work, "pdf"), HOME=work,
                        XDG_CONFIG_HOME=os.path.join(work, "config"), CUPS_SERVER=os.path.join(work, "no-cups"))
        self.log = ""

    def call(self, method, args, channel="printing_channel"):
        done = run([self.program, "call", channel, method, json.dumps(args)], env=self.env, check=False)
        self.log += done.stderr
        return json.loads(done.stdout.strip().splitlines()[-1])


def compare(checker, a, b, area=None):
    cmd = [checker, "compare", a, b] + ([str(v) for v in area] if area else [])
    fields = run(cmd).stdout.split()
    return float(fields[1]), float(fields[3])


def outputs(host, work, tag, original, twin):
    """{path name: (file of the original's output, file of the twin's output, areas or None)}."""
    result = {}
    sheet = os.path.join(work, f"{tag}-sheet.jpg")
    args = {"imagePaths": [original, twin], "outputPaths": [sheet], "rows": 1, "columns": 2,
            "pageWidth": SHEET[0], "pageHeight": SHEET[1], "marginLeft": 0, "marginRight": 0, "marginTop": 0,
            "marginBottom": 0, "jpegQuality": 95}
    if host.call("createGridImages", args) == {"success": True}:
        result["sheet"] = (sheet, sheet, (0, 0, 600, 0, 600, 600))
    baked = host.call("bakeImagesForPrinting", {"requests": [
        {"sourcePath": p, "canvasWidth": 600, "canvasHeight": 450} for p in (original, twin)], "jpegQuality": 95})
    paths = [r.get("bakedPath") for r in baked.get("success", {}).get("results", [])]
    if len(paths) == 2 and all(paths):
        result["bake"] = (paths[0], paths[1], None)
    previews = []
    for i, p in enumerate((original, twin)):
        answer = host.call("getThumbnail", {"path": p, "width": 320, "height": 240}, channel="thumbnail_channel")
        data = answer.get("success")
        if isinstance(data, dict) and "$bytes" in data:
            previews.append(os.path.join(work, f"{tag}-preview{i}.png"))
            open(previews[-1], "wb").write(base64.b64decode(data["$bytes"]))
    if len(previews) == 2:
        result["preview"] = (previews[0], previews[1], None)
    pdf_folder = host.env["PICTAVERA_PDF_DIR"]
    shutil.rmtree(pdf_folder, ignore_errors=True)
    if host.call("printWithLayoutWindows", {"imagePaths": [original, twin], "printerName": "PictaVera PDF"}) == \
            {"success": True}:
        pdfs = [os.path.join(pdf_folder, f) for f in os.listdir(pdf_folder) if f.endswith(".pdf")]
        if pdfs:
            prefix = os.path.join(work, f"{tag}-page")
            run(["pdftoppm", "-r", "72", "-png", pdfs[0], prefix])
            pages = sorted(f for f in os.listdir(work) if f.startswith(f"{tag}-page") and f.endswith(".png"))
            if len(pages) == 2:
                result["pdf"] = (os.path.join(work, pages[0]), os.path.join(work, pages[1]), None)
    return result


def main(argv):
    if not argv:
        print(__doc__, file=sys.stderr)
        return 2
    build = os.path.abspath(argv[0])
    photos = argv[1:] or [os.path.join(REPO, "samples", n) for n in ("beach.jpg", "city.jpg")]
    checker = os.path.join(build, "bench", "colour_check")
    failures = 0
    with tempfile.TemporaryDirectory(prefix="colour-accuracy-") as work:
        profiles = {}
        for kind in ("adobe", "p3", "camera"):
            profiles[kind] = os.path.join(work, f"{kind}.icc")
            run([checker, "profile", kind, profiles[kind]])
        # Two hosts: one with mosalith beside it, one without (the in-process composer).
        alone = os.path.join(work, "alone")
        os.makedirs(alone)
        shutil.copy(os.path.join(build, "bin", "pictavera"), alone)
        hosts = {"mosalith": Host(os.path.join(build, "bin", "pictavera"), work),
                 "fallback": Host(os.path.join(alone, "pictavera"), work)}
        selections = ["srgb", "adobe_rgb", "custom:" + profiles["p3"], "no_conversion",
                      "custom:" + os.path.join(work, "missing.icc")]
        print(f"{'photo':10} {'twin':7} {'selection':14} {'host':9} {'path':8} {'mean':>6} {'p95':>6}")
        for photo in photos:
            name = os.path.splitext(os.path.basename(photo))[0]
            for kind, profile in profiles.items():
                twin = os.path.join(work, f"{name}-{kind}.jpg")
                run([checker, "twin", photo, profile, twin])
                for selection in selections:
                    label = "custom(P3)" if selection.endswith("p3.icc") else \
                        "custom(none)" if selection.endswith("missing.icc") else selection
                    for host_name, host in hosts.items():
                        host.call("setSelectedColorProfile", {"profileId": selection})
                        tag = f"{name}-{kind}-{host_name}-{len(host.log)}"
                        for path, (a, b, area) in outputs(host, work, tag, photo, twin).items():
                            if host_name == "fallback" and path != "sheet":
                                continue  # the same host code as the other row
                            mean, p95 = compare(checker, a, b, area)
                            judged = selection != "no_conversion"
                            bad = judged and (mean > 1.5 or p95 > 3)
                            failures += bad
                            print(f"{name:10} {kind:7} {label:14} {host_name:9} {path:8} {mean:6.2f} {p95:6.2f}"
                                  f"{'  OVER THE BAR' if bad else ''}")
        log = hosts["mosalith"].log + hosts["fallback"].log
        print("unusable custom profile logged:", "custom colour profile unusable" in log)
    print("all within the bar" if failures == 0 else f"{failures} over the bar")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
