#!/usr/bin/python3
"""The print and page-setup dialogs on a desktop, driven through the built host as the interface drives
it: a private X server (Xvfb) with a small window manager, a session bus for the accessibility bus, and
a private CUPS scheduler with a photo printer. The dialogs are worked through the accessibility
interface as a user would work them; a screenshot of each is kept in SHOT_FOLDER.

    gtk_dialogs_test.py BIN_FOLDER SHOT_FOLDER

- the print dialog: PV_Photo, its borderless 4x6 paper, two copies; the reply names the printer and its
  record states that paper and two copies; the paper is stored as the user's for that printer; another
  call is answered while the dialog is open;
- the page-setup dialog, started from that record: it shows the borderless paper (chosen again after the
  printer's papers load); A6 in landscape is taken; the reply's paper and record say so;
- both dialogs cancelled answer null; a host closing with a dialog open answers null and ends.
Exits 77 (skipped) with the reason when Xvfb, dbus-daemon or the accessibility bindings are missing.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from pictavera_client import Host  # noqa: E402

SANDBOX = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "platform", "cups", "cups_sandbox.sh")


def skip(reason):
    print(f"SKIPPED: {reason}")
    sys.exit(77)


try:
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, GLib
except (ImportError, ValueError) as error:
    skip(f"the accessibility bindings (python3-gi, gir1.2-atspi-2.0) are missing: {error}")


def record_fields(record):
    """(fields, orientation, paper number, copies, form name) of a settings record."""
    fields, orientation, paper = struct.unpack_from("<Ihh", record, 72)
    copies = struct.unpack_from("<h", record, 86)[0]
    form = record[102:166].decode("utf-16-le").split("\0")[0]
    return fields, orientation, paper & 0xFFFF, copies, form


def walk(node):
    yield node
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            yield from walk(child)


def wait_for(what, find, timeout=20):
    end = time.time() + timeout
    while time.time() < end:
        try:
            found = find()
        except GLib.Error:  # a node went away while the tree was walked (a dialog still building)
            found = None
        if found is not None:
            return found
        time.sleep(0.2)
    raise AssertionError(f"not found within {timeout} s: {what}")


def dialog_named(title):
    def find():
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and app.get_name() == "pictavera":
                for node in walk(app):
                    if node.get_role_name() == "dialog" and node.get_name().startswith(title):
                        return node
        return None
    return wait_for(f"dialog {title!r}", find)


def child(root, role, name=None):
    return wait_for(f"{role} {name!r}", lambda: next(
        (n for n in walk(root) if n.get_role_name() == role and (name is None or n.get_name() == name)), None))


def combo_item(root, wanted):
    """(combo box, index) of the first combo box listing an item whose name contains `wanted`."""
    def find():
        for node in walk(root):
            if node.get_role_name() == "combo box" and node.get_child_count() > 0:
                menu = node.get_child_at_index(0)
                for i in range(menu.get_child_count()):
                    item = menu.get_child_at_index(i)
                    if item is not None and wanted in item.get_name():
                        return node, i
        return None
    return wait_for(f"combo box with {wanted!r}", find)


def press(root, name):
    child(root, "push button", name).get_action_iface().do_action(0)


def screenshot(folder, name):
    subprocess.run(["import", "-window", "root", os.path.join(folder, name)], check=False)


def print_dialog_case(host, shots, failures):
    call = host.send("printing_channel", "pickPrinterAndPaperWindows")
    dialog = dialog_named("Print")
    # Another channel is answered while the dialog holds the platform thread.
    started = time.time()
    other = host.wait(host.send("printing_channel", "getPrintersWindows"), timeout=10)
    if "success" not in other or time.time() - started > 5:
        failures.append(f"getPrintersWindows with the dialog open: {other} after {time.time() - started:.1f} s")
    cell = child(dialog, "table cell", "PV_Photo")
    table = cell.get_parent().get_table_iface()
    table.add_row_selection(table.get_row_at_index(cell.get_index_in_parent()))
    general = child(dialog, "page tab", "General")
    child(general, "spin button").get_value_iface().set_current_value(2)
    general.get_parent().get_selection_iface().select_child(1)
    combo, index = combo_item(dialog, "Borderless")
    combo.get_selection_iface().select_child(index)
    time.sleep(0.5)
    screenshot(shots, "print_dialog.png")
    press(dialog, "Print")
    reply = host.wait(call, timeout=20).get("success") or {}
    if reply.get("printerName") != "PV_Photo" or reply.get("printerDisplayName") != "PV_Photo":
        failures.append(f"print dialog reply: {reply}")
        return None
    fields, _, _, copies, form = record_fields(reply["devmodeBytes"])
    if copies != 2 or not fields & 0x100 or form != "4x6 (Borderless)":
        failures.append(f"print dialog record: copies {copies}, fields {fields:#x}, form {form!r}")
    return reply["devmodeBytes"]


def page_setup_case(host, record, shots, failures):
    call = host.send("printing_channel", "pickPaperSizeWindows",
                     {"printerName": "PV_Photo", "devmodeBytes": record})
    dialog = dialog_named("Page Setup")
    # The record's borderless paper is chosen again once the printer's papers have loaded.
    paper_combo = combo_item(dialog, "A6")[0]

    def shown():
        item = paper_combo.get_selection_iface().get_selected_child(0)
        return item.get_name() if item is not None else ""
    try:
        wait_for("the borderless paper selected", lambda: "Borderless" in shown() or None, timeout=10)
    except AssertionError as error:
        failures.append(f"page setup dialog: {error} (it shows {shown()!r})")
    screenshot(shots, "page_setup_dialog.png")
    combo, index = combo_item(dialog, "A6")
    combo.get_selection_iface().select_child(index)
    child(dialog, "radio button", "Landscape").get_action_iface().do_action(0)
    time.sleep(0.3)
    press(dialog, "Apply")
    reply = host.wait(call, timeout=20).get("success") or {}
    if (reply.get("id"), reply.get("width"), reply.get("height")) != ("A6", 105, 148):
        failures.append(f"page setup reply: { {k: v for k, v in reply.items() if k != 'devmodeBytes'} }")
        return
    _, orientation, _, _, form = record_fields(reply["devmodeBytes"])
    if orientation != 2 or form != "A6" or "bytesChanged=0" in reply.get("debugInfo", ""):
        failures.append(f"page setup record: orientation {orientation}, form {form!r}, {reply.get('debugInfo')}")


def cancel_case(host, method, arguments, title, failures):
    call = host.send("printing_channel", method, arguments)
    press(dialog_named(title), "Cancel")
    reply = host.wait(call, timeout=20)
    if reply != {"success": None}:
        failures.append(f"{method} cancelled: {reply}")


def start_desktop(logs, env):
    for program in ("Xvfb", "dbus-daemon", "import"):
        if shutil.which(program) is None:
            skip(f"{program} is not installed")
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x900x24", "-nolisten", "tcp"],
                            pass_fds=(write_end,), stderr=open(os.path.join(logs, "xvfb.log"), "w"))
    os.close(write_end)
    # The server writes the number, then a line feed, and ends if the pipe is closed before the last.
    written = b""
    while not written.endswith(b"\n"):
        chunk = os.read(read_end, 16)
        if not chunk:
            break
        written += chunk
    os.close(read_end)
    display = written.decode().strip()
    if not display:
        skip("Xvfb did not start")
    env["DISPLAY"] = ":" + display
    bus = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"],
                         env=env, capture_output=True, text=True, check=True).stdout.split()
    env["DBUS_SESSION_BUS_ADDRESS"] = bus[0]
    processes = [xvfb]
    if shutil.which("openbox"):
        processes.append(subprocess.Popen(["openbox"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    return processes, int(bus[1])


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    host_program = os.path.join(os.path.abspath(argv[0]), "pictavera")
    shots = os.path.abspath(argv[1])
    os.makedirs(shots, exist_ok=True)
    failures = []
    with tempfile.TemporaryDirectory(prefix="gtk-dialogs-test-") as work:
        os.chmod(work, 0o755)  # the scheduler may run as nobody
        started = subprocess.run(["bash", SANDBOX, "start", os.path.join(work, "cups")], capture_output=True, text=True)
        if started.returncode != 0:
            skip(f"the private CUPS scheduler did not start: {started.stderr.strip()}")
        env = dict(os.environ)
        for assignment in started.stdout.split("export ", 1)[1].split():
            name, value = assignment.split("=", 1)
            env[name] = value.strip("'")
        env["PICTAVERA_PDF_DIR"] = os.path.join(work, "pdf")
        processes, bus_pid = start_desktop(shots, env)
        os.environ.update({k: env[k] for k in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS")})
        try:
            with open(os.path.join(shots, "host.log"), "w") as log, \
                    Host([host_program, "serve", "--stdio"], env=env, stderr=log) as host:
                record = print_dialog_case(host, shots, failures)
                lpoptions = open(os.path.join(env["HOME"], ".cups", "lpoptions")).read() \
                    if os.path.exists(os.path.join(env["HOME"], ".cups", "lpoptions")) else ""
                if "Dest PV_Photo" not in lpoptions or "borderless" not in lpoptions:
                    failures.append(f"stored settings: {lpoptions!r}")
                if record is not None:
                    page_setup_case(host, record, shots, failures)
                cancel_case(host, "pickPrinterAndPaperWindows", None, "Print", failures)
                cancel_case(host, "pickPaperSizeWindows", "PV_Office", "Page Setup", failures)
                pending = host.send("printing_channel", "pickPrinterAndPaperWindows")
                dialog_named("Print")
                code = host.close()
                answer = host.replies.get(pending, (None,))[0]
                if answer != {"success": None} or code != 0:
                    failures.append(f"dialog open at closing: {answer}, exit code {code}")
        finally:
            for process in processes:
                process.terminate()
            os.kill(bus_pid, 15)
            subprocess.run(["bash", SANDBOX, "stop", os.path.join(work, "cups")], check=False)
    for failure in failures:
        print("FAIL:", failure)
    print("gtk dialogs:", "ok" if not failures else f"{len(failures)} failures", "- screenshots in", shots)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
