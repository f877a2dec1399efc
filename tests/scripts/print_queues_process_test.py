#!/usr/bin/env python3
"""Printing through the built host on every kind of queue of a private CUPS scheduler, as the interface
prints: PPD queues with margins and a borderless 4x6 paper (a capture backend keeps each job's PDF and
options), driverless IPP Everywhere queues (virtual printers) that take no PDF, and the built-in PDF
printer. Checks what reaches the printer, and measures where the magnets land.

    print_queues_process_test.py BIN_FOLDER SANDBOX_SCRIPT

- every job carries its own options whatever the user and the queue's administrator stored (copies,
  colour mode, orientation, n-up), and its own paper when two hosts print to one queue at once;
- a borderless paper chosen by name stays chosen when a print names its size, and prints edge to edge;
- a queue that takes JPEG and PWG raster but no PDF gets one JPEG per page at the page's size, one that
  takes only PWG raster gets PWG raster; both with the picture at its true size;
- a stopped queue is listed offline and a print to it says so.
Each placement is printed as "placement <queue>: error <mm> mm"; errors above 0.3 mm fail.
Exits 77 (skipped) when the scheduler or the virtual printer cannot run here.
Needs ImageMagick's convert, poppler's pdftoppm and pdfimages.
"""
import json
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from pictavera_client import Host  # noqa: E402

DPI = 300
MM_PER_PX = 25.4 / DPI
SHEET_PX = (600, 900)        # 50.8 x 76.2 mm at 300 dpi: red, with a blue square in its middle
FULL_4X6_PX = (1200, 1800)   # 101.6 x 152.4 mm: a whole 4x6 sheet
TOLERANCE_MM = 0.3
ROUNDS = 20


def run(args, **kwargs):
    return subprocess.run(args, check=True, capture_output=True, text=True, **kwargs).stdout


def make_sheet(path, size, square=None):
    w, h = size
    s = square or min(w, h) // 4
    run(["convert", "-size", f"{w}x{h}", "xc:#ff0000", "-fill", "#0000ff", "-draw",
         f"rectangle {(w - s) // 2},{(h - s) // 2} {(w - s) // 2 + s - 1},{(h - s) // 2 + s - 1}",
         "-density", str(DPI), "-units", "PixelsPerInch", "-quality", "95", path])


def bbox_mm(png, colour):
    """(left, top, width, height) in mm of the pixels of `colour` in a 300 dpi rendering."""
    # A white border first, so that trimming always trims white (a page filled to its edges has no white
    # corner to go by).
    geometry = run(["convert", png, "-fuzz", "30%", "-fill", "white", "+opaque", colour, "-bordercolor", "white",
                    "-border", "1", "-format", "%@", "info:"])
    w, h, x, y = (int(v) for v in re.match(r"(\d+)x(\d+)\+(\d+)\+(\d+)", geometry).groups())
    return tuple(v * MM_PER_PX for v in (x - 1, y - 1, w, h))


def placement_error(found, expected):
    return max(abs(a - b) for a, b in zip(found, expected))


def render(document, work, name):
    """A 300 dpi PNG of the first page of a PDF, or of a JPEG page as it is."""
    out = os.path.join(work, name)
    if document.endswith(".pdf"):
        run(["pdftoppm", "-r", str(DPI), "-png", "-singlefile", "-f", "1", document, out])
        return out + ".png"
    run(["convert", document, out + ".png"])
    return out + ".png"


def read_pwg(path, work, name):
    """The first page of a PWG raster file (8-bit sRGB or grey) as a PNG, and its resolution."""
    data = open(path, "rb").read()
    assert data[:4] == b"RaS2", "not PWG raster"
    header = data[4:4 + 1796]
    be = lambda at: int.from_bytes(header[at:at + 4], "big")  # noqa: E731
    dpi, width, height, bits, line_bytes = be(276), be(372), be(376), be(388), be(392)
    pixel = bits // 8
    pos, rows = 4 + 1796, []
    while len(rows) < height:
        repeat = data[pos] + 1
        pos += 1
        line = bytearray()
        while len(line) < line_bytes:
            control = data[pos]
            pos += 1
            if control == 128:
                line += b"\xff" * (line_bytes - len(line))
            elif control < 128:
                line += data[pos:pos + pixel] * (control + 1)
                pos += pixel
            else:
                count = (257 - control) * pixel
                line += data[pos:pos + count]
                pos += count
        rows.extend([bytes(line)] * repeat)
    raw = os.path.join(work, name + ".raw")
    open(raw, "wb").write(b"".join(rows[:height]))
    png = os.path.join(work, name + ".png")
    run(["convert", "-size", f"{width}x{height}", "-depth", "8", ("rgb:" if pixel == 3 else "gray:") + raw, png])
    return png, dpi


def captured_jobs(out_folder):
    """{job id: (options text, pdf path)} of the capture backend's finished jobs."""
    jobs = {}
    for name in os.listdir(out_folder):
        match = re.fullmatch(r"job-(\d+)\.pdf", name)
        if match and os.path.exists(os.path.join(out_folder, f"job-{match.group(1)}.options")):
            options = open(os.path.join(out_folder, f"job-{match.group(1)}.options")).read()
            jobs[int(match.group(1))] = (options, os.path.join(out_folder, name))
    return jobs


def new_jobs(out_folder, before, count, seconds=60):
    """The capture backend's jobs that are not in `before`, in job order, once `count` of them are finished
    (a print is answered when the scheduler has the job, a little before the backend has run)."""
    jobs = {}
    for _ in range(int(seconds * 5)):
        jobs = {job: value for job, value in captured_jobs(out_folder).items() if job not in before}
        if len(jobs) >= count:
            break
        subprocess.run(["sleep", "0.2"])
    return [jobs[job] for job in sorted(jobs)]


def option(options, name):
    match = re.search(r"(?:^|\s)" + re.escape(name) + r"=(\S+)", options)
    return match.group(1) if match else None


class Test:
    def __init__(self, bin_folder, sandbox, work):
        self.bin = bin_folder
        self.sandbox = sandbox
        self.work = work
        self.failures = []
        self.env = dict(os.environ, CUPS_SERVER=os.path.join(sandbox, "cups.sock"),
                        CUPS_SERVERROOT=os.path.join(sandbox, "client"), HOME=os.path.join(sandbox, "home"),
                        PICTAVERA_TEMP_DIR=os.path.join(work, "temp"), PICTAVERA_PDF_DIR=os.path.join(work, "pdf"),
                        XDG_CONFIG_HOME=os.path.join(work, "config"))
        self.env.pop("LPDEST", None)
        self.env.pop("PRINTER", None)

    def check(self, condition, message):
        if not condition:
            self.failures.append(message)
        return condition

    def host(self, log_name):
        log = open(os.path.join(self.work, log_name), "wb")
        return Host([os.path.join(self.bin, "pictavera"), "serve", "--stdio"], env=self.env, stderr=log)

    def cups(self, *args):
        return run(list(args), env=self.env)

    def log(self, name):
        return open(os.path.join(self.work, name), encoding="utf-8", errors="replace").read()

    def margins(self, host, printer, paper):
        reply = host.wait(host.send("printing_channel", "getPrinterCapabilitiesWindows", {"printerName": printer}))
        for entry in reply["success"]["supportedPaperSizes"]:
            if entry["name"] == paper:
                return entry
        raise AssertionError(f"{printer} has no paper {paper}: {reply}")

    def expect_placement(self, queue, png, paper, sheet_mm):
        """The sheet at its true size, centred in the paper's printable area (the page size from `png`)."""
        w, h = (int(v) for v in run(["identify", "-format", "%w %h", png]).split())
        page_mm = (w * MM_PER_PX, h * MM_PER_PX)
        left = paper["marginLeft"] + (page_mm[0] - paper["marginLeft"] - paper["marginRight"] - sheet_mm[0]) / 2
        top = paper["marginTop"] + (page_mm[1] - paper["marginTop"] - paper["marginBottom"] - sheet_mm[1]) / 2
        error = placement_error(bbox_mm(png, "#ff0000"), (left, top, sheet_mm[0], sheet_mm[1]))
        print(f"placement {queue}: error {error:.3f} mm")
        self.check(error <= TOLERANCE_MM, f"{queue}: the sheet is {error:.2f} mm off its place")

    def print_sheets(self, host, paths, printer, size=None, copies=None):
        args = {"imagePaths": paths, "printerName": printer}
        if size:
            args["paperSize"] = {"width": size[0], "height": size[1]}
        if copies:
            args["copies"] = copies
        return host.send("printing_channel", "printWithLayoutWindows", args)

    def hostile_options_never_reach_a_job(self, sheet):
        """The user's and the administrator's stored copies, colour, orientation and n-up are ignored."""
        self.cups("lpadmin", "-p", "PV_Office", "-o", "copies-default=3", "-o", "orientation-requested-default=4",
                  "-o", "print-color-mode-default=monochrome", "-o", "number-up-default=2")
        self.cups("lpoptions", "-p", "PV_Office", "-o", "copies=2", "-o", "print-color-mode=monochrome",
                  "-o", "orientation-requested=5", "-o", "number-up=4", "-o", "InputSlot=Tray2")
        out = os.path.join(self.sandbox, "out")
        before = set(captured_jobs(out))
        with self.host("hostile.log") as host:
            first = host.wait(self.print_sheets(host, [sheet], "PV_Office", (210, 297)), 60)
            second = host.wait(self.print_sheets(host, [sheet], "PV_Office", (210, 297), copies=2), 60)
            paper = self.margins(host, "PV_Office", "A4")
        self.check(first == second == {"success": True}, f"prints answered {first}, {second}")
        jobs = new_jobs(out, before, 2)
        if not self.check(len(jobs) == 2, f"{len(jobs)} jobs captured, expected 2"):
            return
        for (options, pdf), copies in zip(jobs, ("1", "2")):
            wanted = {"copies": copies, "orientation-requested": "3", "number-up": "1", "print-color-mode": "color",
                      "media": "iso_a4_210x297mm", "InputSlot": "Tray2"}
            for name, value in wanted.items():
                self.check(option(options, name) == value,
                           f"hostile options: {name}={option(options, name)}, expected {value}: {options}")
        self.expect_placement("PPD queue with margins (A4)", render(jobs[0][1], self.work, "office"), paper,
                              (SHEET_PX[0] * MM_PER_PX, SHEET_PX[1] * MM_PER_PX))

    def borderless_stays_chosen(self):
        full = os.path.join(self.work, "full4x6.jpg")
        make_sheet(full, FULL_4X6_PX)
        out = os.path.join(self.sandbox, "out")
        before = set(captured_jobs(out))
        with self.host("borderless.log") as host:
            chosen = host.wait(host.send("printing_channel", "setDefaultPrinterAndPaper",
                                         {"printerName": "PV_Photo", "paperName": "4x6 (Borderless)"}))
            printed = host.wait(self.print_sheets(host, [full], "PV_Photo", (101, 152)), 60)
            paper = self.margins(host, "PV_Photo", "4x6 (Borderless)")
        self.check(chosen == {"success": {"paperSet": True, "printerSet": True}}, f"choosing answered {chosen}")
        self.check(printed == {"success": True}, f"the sized print answered {printed}")
        jobs = new_jobs(out, before, 1)
        if not self.check(len(jobs) == 1, f"{len(jobs)} borderless jobs captured"):
            return
        media = option(jobs[0][0], "media")
        self.check(media == "na_index-4x6_4x6in_borderless", f"the sized print went to {media}")
        self.expect_placement("PPD queue, borderless 4x6", render(jobs[0][1], self.work, "borderless"), paper,
                              (FULL_4X6_PX[0] * MM_PER_PX, FULL_4X6_PX[1] * MM_PER_PX))

    def two_hosts_keep_their_papers(self):
        """Two hosts print to one queue at once, each on its paper, ROUNDS times; every job on its own."""
        a4_sheet, letter_sheet = os.path.join(self.work, "a.jpg"), os.path.join(self.work, "b.jpg")
        make_sheet(a4_sheet, (600, 900))
        make_sheet(letter_sheet, (660, 900))  # told apart by their width in the PDF
        out = os.path.join(self.sandbox, "out")
        before = set(captured_jobs(out))
        with self.host("host-a.log") as a, self.host("host-b.log") as b:
            for _ in range(ROUNDS):
                ids = (self.print_sheets(a, [a4_sheet], "PV_Office", (210, 297)),
                       self.print_sheets(b, [letter_sheet], "PV_Office", (216, 279)))
                replies = (a.wait(ids[0], 60), b.wait(ids[1], 60))
                self.check(replies == ({"success": True}, {"success": True}), f"concurrent prints: {replies}")
        jobs = new_jobs(out, before, 2 * ROUNDS)
        self.check(len(jobs) == 2 * ROUNDS, f"{len(jobs)} concurrent jobs captured, expected {2 * ROUNDS}")
        wrong = 0
        for options, pdf in jobs:
            width = int(run(["pdfimages", "-list", pdf]).splitlines()[2].split()[3])
            expected = "iso_a4_210x297mm" if width == 600 else "na_letter_8.5x11in"
            box = re.search(r"/MediaBox \[ 0 0 ([\d.]+)", open(pdf, "rb").read().decode("latin-1"))
            page_ok = box and abs(float(box.group(1)) - (595.28 if width == 600 else 612)) < 1
            wrong += option(options, "media") != expected or not page_ok
        self.check(wrong == 0, f"{wrong} of {len(jobs)} concurrent jobs printed on the other host's paper")

    def driverless_queues_take_pictures(self, sheet):
        for queue, kind in (("PV_Driverless", "jpg"), ("PV_Raster", "pwg")):
            folder = os.path.join(self.sandbox, f"ipp-{queue}")
            with self.host(f"{queue}.log") as host:
                printed = host.wait(self.print_sheets(host, [sheet, sheet], queue, (210, 297)), 90)
                paper = self.margins(host, queue, "A4")
            self.check(printed == {"success": True}, f"{queue} answered {printed}: {self.log(queue + '.log')[-1500:]}")
            sent_as = "image/jpeg" if kind == "jpg" else "image/pwg-raster"
            self.check(f"DEBUG: Pages are sent as {sent_as}" in self.log(queue + ".log"), f"{queue} not sent as {sent_as}")
            documents = []
            # The virtual printer takes about a second a page on a quiet machine, many more beside other
            # suites: up to a minute, ended as soon as the pages are there.
            for _ in range(300):
                documents = sorted(f for f in os.listdir(folder) if f.endswith("." + kind))
                if len(documents) >= (2 if kind == "jpg" else 1):
                    break
                subprocess.run(["sleep", "0.2"])
            if kind == "jpg":
                # One job per page, each a JPEG of the whole page at 300 dpi.
                if not self.check(len(documents) == 2, f"{queue}: {documents}, expected two JPEG pages"):
                    continue
                png = render(os.path.join(folder, documents[0]), self.work, queue)
                density = run(["identify", "-format", "%x %y %U", os.path.join(folder, documents[0])])
                self.check(density.startswith("300 300"), f"{queue}: page density {density}")
            else:
                if not self.check(len(documents) == 1, f"{queue}: {documents}, expected one PWG raster document"):
                    continue
                png, dpi = read_pwg(os.path.join(folder, documents[0]), self.work, queue)
                if dpi != DPI:
                    run(["convert", png, "-resize", f"{100 * DPI / dpi}%", png])
            self.expect_placement(f"driverless ({kind})", png, paper,
                                  (SHEET_PX[0] * MM_PER_PX, SHEET_PX[1] * MM_PER_PX))

    def desktop_driverless_queue(self, sheet):
        """A driverless queue of a scheduler with the desktop's filters takes PDF and converts it."""
        folder = os.path.join(self.sandbox, "ipp-PV_Desktop")
        with self.host("desktop.log") as host:
            printed = host.wait(self.print_sheets(host, [sheet], "PV_Desktop", (210, 297)), 90)
            paper = self.margins(host, "PV_Desktop", "A4")
        self.check(printed == {"success": True}, f"PV_Desktop answered {printed}")
        self.check("DEBUG: Pages are sent as application/pdf" in self.log("desktop.log"), "PV_Desktop not sent PDF")
        documents = []
        for _ in range(150):
            documents = sorted(f for f in os.listdir(folder) if f.endswith(".pwg"))
            if documents:
                break
            subprocess.run(["sleep", "0.2"])
        if not self.check(len(documents) == 1, f"PV_Desktop: {documents}, expected the converted PWG raster"):
            return
        png, dpi = read_pwg(os.path.join(folder, documents[0]), self.work, "desktop")
        if dpi != DPI:
            run(["convert", png, "-resize", f"{100 * DPI / dpi}%", png])
        self.expect_placement("driverless through the desktop's filters (PDF)", png, paper,
                              (SHEET_PX[0] * MM_PER_PX, SHEET_PX[1] * MM_PER_PX))

    def built_in_pdf_printer(self, sheet):
        with self.host("pdf.log") as host:
            printed = host.wait(self.print_sheets(host, [sheet], "PictaVera PDF", (210, 297)), 60)
            paper = self.margins(host, "PictaVera PDF", "A4")
        folder = self.env["PICTAVERA_PDF_DIR"]
        pdfs = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
        if self.check(printed == {"success": True} and len(pdfs) == 1, f"PDF printer: {printed}, {pdfs}"):
            self.expect_placement("built-in PDF printer (A4)", render(os.path.join(folder, pdfs[0]), self.work, "pdf"),
                                  paper, (SHEET_PX[0] * MM_PER_PX, SHEET_PX[1] * MM_PER_PX))

    def stopped_queue_is_offline(self, sheet):
        self.cups("cupsdisable", "PV_Office")
        try:
            with self.host("stopped.log") as host:
                listed = host.wait(host.send("printing_channel", "getPrintersWindows"))
                printed = host.wait(self.print_sheets(host, [sheet], "PV_Office"), 60)
        finally:
            self.cups("cupsenable", "PV_Office")
        office = [p for p in listed["success"] if p["name"] == "PV_Office"]
        self.check(office and office[0]["isOnline"] is False, f"a stopped queue is listed {office}")
        self.check(printed == {"success": True}, f"a print to a stopped queue answered {printed}")
        log = self.log("stopped.log")
        self.check("DEBUG: Printer PV_Office cannot print now: stopped" in log, "no log line names the stopped queue")


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    bin_folder, script = os.path.abspath(argv[0]), os.path.abspath(argv[1])
    with tempfile.TemporaryDirectory(prefix="print-queues-test-") as work:
        os.chmod(work, 0o755)  # the scheduler may run as another user (nobody, under root)
        sandbox = os.path.join(work, "cups")
        test = None
        try:
            started = subprocess.run(["bash", script, "start", sandbox], capture_output=True, text=True)
            if started.returncode != 0:
                print(f"SKIP the private CUPS scheduler did not start: {started.stderr}", file=sys.stderr)
                return 77
            for queue, formats in (("PV_Driverless", "image/jpeg,image/pwg-raster"), ("PV_Raster", "image/pwg-raster")):
                added = subprocess.run(["bash", script, "ipp", sandbox, queue, formats], capture_output=True, text=True)
                if added.returncode != 0:
                    print(f"SKIP the driverless queue did not start: {added.stderr}", file=sys.stderr)
                    return 77
            test = Test(bin_folder, sandbox, work)
            sheet = os.path.join(work, "sheet.jpg")
            make_sheet(sheet, SHEET_PX)
            test.hostile_options_never_reach_a_job(sheet)
            test.borderless_stays_chosen()
            test.two_hosts_keep_their_papers()
            test.driverless_queues_take_pictures(sheet)
            test.built_in_pdf_printer(sheet)
            test.stopped_queue_is_offline(sheet)
            # A second scheduler with the desktop's filters (cups-filters), where they are installed.
            if os.path.isdir("/usr/lib/cups/filter") and os.path.exists("/usr/lib/cups/filter/pdftoraster"):
                desktop = os.path.join(work, "desktop")
                if (subprocess.run(["bash", script, "start", desktop, "--filters"], capture_output=True).returncode == 0
                        and subprocess.run(["bash", script, "ipp", desktop, "PV_Desktop", "image/jpeg,image/pwg-raster"],
                                           capture_output=True).returncode == 0):
                    second = Test(bin_folder, desktop, work)
                    second.desktop_driverless_queue(sheet)
                    test.failures += second.failures
                else:
                    test.failures.append("the scheduler with the desktop's filters did not start")
            else:
                print("the desktop's filters (cups-filters) are not installed: their queue is not tried")
        finally:
            subprocess.run(["bash", script, "stop", sandbox], capture_output=True)
            subprocess.run(["bash", script, "stop", os.path.join(work, "desktop")], capture_output=True)
            if os.environ.get("PRINT_TEST_KEEP"):
                subprocess.run(["cp", "-r", work, os.environ["PRINT_TEST_KEEP"]])
        for failure in test.failures:
            print("FAIL " + failure, file=sys.stderr)
        return 1 if test.failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
