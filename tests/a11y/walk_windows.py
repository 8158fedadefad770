#!/usr/bin/python3
"""Reads fieldservice's windows through the accessibility bus, as a screen
reader does, against the simulated demo bus.

    walk_windows.py DIST WINDOW [--dump FILE]

DIST is the build's dist folder (the program, its files and fieldsim).
WINDOW is one of WINDOWS below: the program is started in a fresh copy of
DIST on an X server of its own, connected to the first device through the
Connect dialog (except for the Connect window itself), the window is opened
by its menu item's accessible action, and its tree is walked:
  - the window's name says what it is, not only the program's title;
  - every button, field, list, table, box and slider that shows has a name;
  - no two controls of one role in the window share a name;
  - the main window's device panel reads the connected device's values.
--dump writes the window as a screen reader reads it, one object a line.
Run it inside its own D-Bus session (dbus-run-session): the accessibility
bus and its registry start on demand there.
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

PROGRAM_TITLE = "Field Service v1.10"
# Window: the menu item that opens it (its spoken caption), and whether a
# device is connected first.
WINDOWS = {
    "main": (None, True),
    "connect": ("Connect...", False),
    "options": ("Options...", True),
    "about": ("About...", False),
    "parameters": ("Change parameters...", True),
    "password": ("Change password...", True),
    "address": ("Bus address...", True),
    "parameter_table": ("Parameter table...", True),
    "history": ("Service history...", True),
    "bus_monitor": ("Bus monitor...", False),
    "help": ("Help topics", False),
}
# The roles a control has: each must be named, and told apart within its window.
CONTROL_ROLES = {
    "push button", "toggle button", "check box", "radio button", "text", "password text",
    "entry", "list", "list box", "table", "tree table", "tree", "combo box", "slider",
    "spin button",
}
# The rows the connected device panel reads, by their captions.
PANEL_CAPTIONS = ["Device name", "Bus address", "Version", "Parameter version", "Password",
                  "Status", "Operating hours", "Power-on counter"]
DEADLINE_S = 30


PROGRAM_LOG = []


def fail(message):
    for path in PROGRAM_LOG:
        with open(path, errors="replace") as log:
            sys.stderr.write(log.read()[-4000:])
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def wait_for(what, probe, seconds=DEADLINE_S):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            found = probe()
        except GLib.Error:
            found = None
        if found:
            return found
        time.sleep(0.1)
    fail("waited %d s for %s" % (seconds, what))


def children(node):
    try:
        count = node.get_child_count()
    except GLib.Error:
        return []
    out = []
    for i in range(count):
        try:
            child = node.get_child_at_index(i)
        except GLib.Error:
            continue
        if child is not None:
            out.append(child)
    return out


def walk(node, depth=0):
    yield node, depth
    for child in children(node):
        yield from walk(child, depth + 1)


def showing(node):
    try:
        return node.get_state_set().contains(Atspi.StateType.SHOWING)
    except GLib.Error:
        return False


def role(node):
    return node.get_role_name()


def name(node):
    return node.get_name() or ""


class Program:
    """The simulator on a link, and fieldservice in a fresh installation
    folder using it as COM1."""

    def __init__(self, dist):
        self.folder = tempfile.mkdtemp(prefix="a11y-")
        for entry in os.listdir(dist):
            path = os.path.join(dist, entry)
            if os.path.isfile(path):
                shutil.copy(path, self.folder)
        link = os.path.join(self.folder, "bus0")
        with open(os.path.join(self.folder, "config.ini"), "a") as config:
            config.write("\n[Port Devices]\ncom1=%s\n" % link)
        self.sim = subprocess.Popen([os.path.join(dist, "fieldsim"), "--link", link,
                                     os.path.join(self.folder, "demo.bus")],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("the simulator's link", lambda: os.path.exists(link), 5)
        env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_ACCESSIBILITY="1",
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", LANG="C.UTF-8")
        log = os.path.join(self.folder, "program.log")
        PROGRAM_LOG.append(log)
        with open(log, "w") as out:
            self.proc = subprocess.Popen([os.path.join(self.folder, "fieldservice")], cwd=self.folder, env=env,
                                         stdout=out, stderr=subprocess.STDOUT)
        self.app = wait_for("the program on the accessibility bus", self.find_app)

    def find_app(self):
        if self.proc.poll() is not None:
            fail("the program ended with status %s" % self.proc.returncode)
        desktop = Atspi.get_desktop(0)
        for app in children(desktop):
            if app.get_process_id() == self.proc.pid and children(app):
                return app
        return None

    def windows(self):
        self.app.clear_cache()
        return [w for w in children(self.app) if showing(w)]

    def stop(self):
        for p in (self.proc, self.sim):
            if p.poll() is None:
                p.send_signal(signal.SIGTERM)
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait(5)
        PROGRAM_LOG.clear()
        shutil.rmtree(self.folder, ignore_errors=True)


def press(node):
    """Runs node's first accessible action. A menu item that opens a modal
    window answers only when the window closes: the call times out, the
    window is up all the same."""
    if "Action" not in node.get_interfaces() or node.get_n_actions() < 1:
        fail("%s %r has no action" % (role(node), name(node)))
    try:
        node.do_action(0)
    except GLib.Error:
        pass


def menu_item(program, caption):
    main = program.windows()[0]
    for node, _ in walk(main):
        if role(node) == "menu item" and name(node).split("\t")[0] == caption:
            return node
    fail("no menu item %r" % caption)


def new_window(program, before):
    # The progress window of a reading that comes first is not the one.
    def probe():
        fresh = [w for w in program.windows() if w not in before
                 and not any(role(n) == "progress bar" for n, _ in walk(w))]
        return fresh[-1] if fresh else None
    return wait_for("a new window", probe)


def panel_rows(program):
    for window in program.windows():
        for node, _ in walk(window):
            if role(node) == "panel" and name(node) == "Device panel":
                node.clear_cache()
                return [name(row) for row in children(node)]
    return []


def connect(program):
    """Connects to the first device the scan lists, as an operator does:
    Connect, the first line of the list, OK."""
    press(menu_item(program, "Connect..."))

    def ok_of_list():
        for window in program.windows():
            nodes = [n for n, _ in walk(window)]
            if any(role(n) == "list item" for n in nodes):
                return next((n for n in nodes if role(n) == "push button" and name(n) == "OK"), None)
        return None
    press(wait_for("the Connect window's list", ok_of_list))
    wait_for("the device panel's rows", lambda: len(panel_rows(program)) == len(PANEL_CAPTIONS))


def check_window(window, main):
    problems = []
    title = name(window)
    if not title:
        problems.append("the window has no name")
    elif title == PROGRAM_TITLE and not main:
        problems.append("the window is named only after the program")
    seen = {}
    for node, _ in walk(window):
        r = role(node)
        if r not in CONTROL_ROLES or not showing(node):
            continue
        n = name(node).strip()
        if not n:
            problems.append("a %s without a name" % r)
            continue
        seen.setdefault((r, n), 0)
        seen[(r, n)] += 1
    problems += ["%d controls of role %s named %r" % (count, r, n)
                 for (r, n), count in seen.items() if count > 1]
    return problems


def check_panel(program):
    rows = panel_rows(program)
    problems = []
    for caption in PANEL_CAPTIONS:
        row = next((r for r in rows if r.startswith(caption + ": ")), None)
        if row is None or not row[len(caption) + 2:].strip():
            problems.append("the panel reads no value for %s (rows: %r)" % (caption, rows))
    if not any(r.startswith("Device name: PUMPCTRL") for r in rows):
        problems.append("the panel does not read the demo device's name: %r" % rows)
    if "Status: No fault, code 0000" not in rows:
        problems.append("the panel does not read the status in words: %r" % rows)
    return problems


def reading(window):
    """The window as a screen reader's flat review reads it: role, name,
    the text a field holds, and what is off."""
    lines = []
    for node, depth in walk(window):
        if not showing(node) and depth > 0:
            continue
        line = "%s%s" % ("  " * depth, role(node))
        if name(node):
            line += ' "%s"' % name(node)
        if "Text" in node.get_interfaces() and role(node) in ("text", "entry", "password text"):
            line += " text=%r" % node.get_text(0, -1)
        if not node.get_state_set().contains(Atspi.StateType.ENABLED):
            line += " (dimmed)"
        lines.append(line)
    return "\n".join(lines) + "\n"


def main():
    args = sys.argv[1:]
    dump = None
    if "--dump" in args:
        at = args.index("--dump")
        dump = args[at + 1]
        del args[at:at + 2]
    if len(args) != 2 or args[1] not in WINDOWS:
        fail("usage: walk_windows.py DIST WINDOW [--dump FILE]; windows: " + ", ".join(WINDOWS))
    dist, which = args
    caption, connected = WINDOWS[which]
    # Short calls: an action that opens a modal window is left to time out.
    Atspi.set_timeout(2000, 2000)
    program = Program(dist)
    try:
        if connected:
            connect(program)
        if caption is None:
            window = program.windows()[0]
        else:
            before = program.windows()
            press(menu_item(program, caption))
            window = new_window(program, before)
        problems = check_window(window, caption is None)
        if which == "main":
            problems += check_panel(program)
        if dump:
            with open(dump, "w") as out:
                out.write(reading(window))
    finally:
        program.stop()
    if problems:
        fail("%s: %s" % (which, "; ".join(problems)))
    print("%s: 1 passed, 0 failed" % which)


if __name__ == "__main__":
    main()
