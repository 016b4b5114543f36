"""The program as a screen reader sees it, over the real accessibility bus.

Fails when a control that can take the focus in the main window, the scales
panel, the connection dialog, the serial setup dialog or the check dialog has
no name; when a serial setup drop-down is named by its value; when a dialog
opens or closes without the focus being reported where it went (back on
the control it left, when it closes); or when a
100-record upload sends more than 30 name changes from the status line.
Every wait is for an event on the bus, bounded by a deadline.
"""
import subprocess
import sys

import pyatspi
from gi.repository import GLib

WORK = sys.argv[1]
MAIN = " Scale database v1.03"
CONNECTION = "Ustawienia połączenia"
SETUP = "RS-232 settings"
CHECK = "Check before sending"
SETUP_LISTS = ["Port", "Baud rate", "Data bits", "Stop bits", "Parity", "Flow control"]
faults = []


def keys(*names):
    subprocess.run(["xdotool", "key", "--clearmodifiers", *names], check=True)


def typed(text):
    subprocess.run(["xdotool", "type", "--delay", "15", text], check=True)


def window_of(acc):
    while acc is not None and acc.getRole() not in (pyatspi.ROLE_FRAME, pyatspi.ROLE_DIALOG,
                                                    pyatspi.ROLE_WINDOW, pyatspi.ROLE_ALERT):
        acc = acc.parent
    return acc


def run_until(act, kinds, done, seconds=20):
    """Runs act, then the bus's events of the kinds until done(event) holds;
    the event, or None at the deadline."""
    got = []

    def heard(event):
        if not got and done(event):
            got.append(event)
            pyatspi.Registry.stop()

    def start():
        if act:
            act()
        return False

    listen(heard, kinds, start, seconds)
    return got[0] if got else None


def listen(listener, kinds, first, seconds):
    """Runs the bus's loop with listener on the kinds, first once it runs,
    until the listener stops it or the deadline passes."""
    late = []

    def deadline():
        late.append(True)
        pyatspi.Registry.stop()
        return False

    for kind in kinds:
        pyatspi.Registry.registerEventListener(listener, kind)
    GLib.idle_add(first)
    timer = GLib.timeout_add_seconds(seconds, deadline)
    pyatspi.Registry.start()
    if not late:
        GLib.source_remove(timer)
    for kind in kinds:
        pyatspi.Registry.deregisterEventListener(listener, kind)


def focus_in(title, act, what):
    """Runs act and waits until the focus is reported in the window titled title."""
    def done(e):
        window = window_of(e.source) if e.detail1 else None
        return window is not None and window.name == title
    event = run_until(act, ["object:state-changed:focused"], done)
    if event is None:
        faults.append(f"{what}: no focus reported in \"{title}\"")
        return None
    return event.source


def back_to(title, act, what, left):
    """As focus_in, and the focus must land on the control named left."""
    source = focus_in(title, act, what)
    if source is not None and left is not None and source.name != left:
        faults.append(f"{what}: the focus came back on \"{source.name}\", not on \"{left}\"")
    return source


def walk(acc):
    yield acc
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


def unnamed(window, where):
    for acc in walk(window):
        if acc.getRole() == pyatspi.ROLE_TABLE_CELL:
            continue  # a cell is its text, told with its row and column
        if acc.getState().contains(pyatspi.STATE_FOCUSABLE) and not acc.name.strip():
            faults.append(f"{where}: a focusable {acc.getRoleName()} has no name")


def drop_downs(window):
    return [acc for acc in walk(window) if acc.getRole() == pyatspi.ROLE_COMBO_BOX]


def app_window(title):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is None or app.name != "scaledb":
            continue
        for window in app:
            if window is not None and window.name == title:
                return window
    return None


def wait_for_main_window(seconds=30):
    """The main window once the program has joined the bus (perhaps already)."""
    def check(_event=None):
        if app_window(MAIN) is not None:
            pyatspi.Registry.stop()
        return False

    kinds = ["object:children-changed", "window:create", "window:activate", "object:state-changed:focused"]
    listen(check, kinds, check, seconds)
    return app_window(MAIN)


def main():
    window = wait_for_main_window()
    if window is None:
        print("FAIL: the main window never came up on the bus")
        return 1
    unnamed(window, "main window and scales panel")

    # The connection dialog, opened on the selected link.
    first = focus_in(CONNECTION, lambda: keys("alt+c"), "Connection")
    if first is not None and first.name != "Serial port":
        faults.append(f"the connection dialog opened on \"{first.name}\", not on the selected link")
    if first is not None:
        dialog = window_of(first)
        unnamed(dialog, "connection dialog")
        if [d.name for d in drop_downs(dialog)] != ["Baud rate"]:
            faults.append(f"connection dialog drop-downs: {[d.name for d in drop_downs(dialog)]}")
        # Tab to Advanced options, Enter: the serial setup dialog.
        first = focus_in(SETUP, lambda: keys("Tab", "Tab", "Tab", "Tab", "Return"), "Advanced options")
        if first is not None:
            setup = window_of(first)
            unnamed(setup, "serial setup dialog")
            names = [d.name for d in drop_downs(setup)]
            if sorted(names) != sorted(SETUP_LISTS):
                faults.append(f"serial setup drop-downs are named {names}, not by their labels")
            back_to(CONNECTION, lambda: keys("Escape"), "leaving the serial setup dialog", "Advanced options")
        # Cancel presses Connect: the simulated scale's port opens.
        grid = focus_in(MAIN, lambda: keys("Escape"), "leaving the connection dialog")
    left = grid.name if first is not None and grid is not None else None

    # The check before sending, on the short row of the file opened at start.
    first = focus_in(CHECK, lambda: keys("ctrl+Return"), "Send database")
    if first is not None:
        if first.name != "Cancel":
            faults.append(f"the check dialog opened on \"{first.name}\", not on Cancel")
        unnamed(window_of(first), "check dialog")
        back_to(MAIN, lambda: keys("Escape"), "leaving the check dialog", left)

    # File > Open by the keyboard: a name typed and Enter, the focus back on the window.
    if run_until(lambda: keys("ctrl+o"), ["object:state-changed:focused"],
                 lambda e: e.detail1 and window_of(e.source) is not None
                 and window_of(e.source).name != MAIN) is None:
        faults.append("File > Open: no focus reported in the file dialog")
    back_to(MAIN, lambda: (typed(WORK + "/products.csv"), keys("Return")), "leaving File > Open", left)

    # A 100-record upload: the status line's name changes, counted.
    changes = []

    def status(e):
        if e.source is not None and e.source.getRole() == pyatspi.ROLE_STATUS_BAR:
            changes.append(e.source.name)
            return e.source.name.startswith("Database was sent") or "could not" in e.source.name
        return False
    ended = run_until(lambda: keys("ctrl+Return"), ["object:property-change:accessible-name"], status, 90)
    if ended is None:
        faults.append(f"the upload did not end on the status line; it said {changes[-3:]}")
    elif len(changes) > 30:
        faults.append(f"the status line changed its name {len(changes)} times in a 100-record upload")
    print(f"status line: {len(changes)} name changes in a 100-record upload")

    for fault in faults:
        print("FAIL:", fault)
    return 1 if faults else 0


sys.exit(main())
