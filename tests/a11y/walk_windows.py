#!/usr/bin/python3
"""Reads one window of fieldservice through the accessibility bus, as a screen
reader does, against the demo bus: walk_windows.py DIST WINDOW [--dump FILE].
Connects first where WINDOW needs a device, opens WINDOW by its menu item's
action, and checks that it is named for what it is, that every control that
shows is named uniquely for its role, and that the main window's panel reads
the device. --dump writes the reading, one object a line. Run by run.sh."""
import os, shutil, signal, subprocess, sys, tempfile, time

import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

# Window: its menu item, and whether a device is connected first.
WINDOWS = {"main": (None, True), "connect": ("Connect...", False), "options": ("Options...", True),
           "about": ("About...", False), "parameters": ("Change parameters...", True),
           "password": ("Change password...", True), "address": ("Bus address...", True),
           "parameter_table": ("Parameter table...", True), "history": ("Service history...", True),
           "bus_monitor": ("Bus monitor...", False), "help": ("Help topics", False)}
CONTROLS = {"push button", "toggle button", "check box", "radio button", "text", "password text", "entry",
            "list", "list box", "table", "tree table", "tree", "combo box", "slider", "spin button"}
PANEL = ["Device name", "Bus address", "Version", "Parameter version", "Password", "Status",
         "Operating hours", "Power-on counter"]
LOG = []
def fail(message):
    for path in LOG:
        with open(path, errors="replace") as log:
            sys.stderr.write(log.read()[-4000:])
    sys.exit("FAIL: " + message)
def wait_for(what, probe, seconds=30):
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
    """The children still there: a window that goes (a progress window) takes its objects along."""
    try:
        return [c for c in (node.get_child_at_index(i) for i in range(node.get_child_count())) if c is not None]
    except GLib.Error:
        return []
def walk(node, depth=0):
    yield node, depth
    for child in children(node):
        yield from walk(child, depth + 1)
def showing(node): return node.get_state_set().contains(Atspi.StateType.SHOWING)
def role(node): return node.get_role_name()
def name(node): return node.get_name() or ""
def start(dist):
    """fieldsim on a link, and the program in a fresh folder using it as COM1."""
    folder = tempfile.mkdtemp(prefix="a11y-")
    for entry in os.listdir(dist):
        if os.path.isfile(os.path.join(dist, entry)):
            shutil.copy(os.path.join(dist, entry), folder)
    link = os.path.join(folder, "bus0")
    with open(os.path.join(folder, "config.ini"), "a") as config:
        config.write("\n[Port Devices]\ncom1=%s\n" % link)
    sim = subprocess.Popen([os.path.join(dist, "fieldsim"), "--link", link, os.path.join(folder, "demo.bus")],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for("the simulator's link", lambda: os.path.exists(link), 5)
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_ACCESSIBILITY="1", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    LOG.append(os.path.join(folder, "program.log"))
    with open(LOG[0], "w") as out:
        program = subprocess.Popen([os.path.join(folder, "fieldservice")], cwd=folder, env=env,
                                   stdout=out, stderr=subprocess.STDOUT)

    def find_app():
        if program.poll() is not None:
            fail("the program ended with status %s" % program.returncode)
        return next((a for a in children(Atspi.get_desktop(0))
                     if a.get_process_id() == program.pid and children(a)), None)
    return folder, [program, sim], wait_for("the program on the accessibility bus", find_app)
def windows(app):
    app.clear_cache()
    return [w for w in children(app) if showing(w)]
def press(node):
    """Runs node's first action. A menu item that opens a modal window
    answers only once it closes: the call times out, the window is up."""
    try:
        node.do_action(0)
    except GLib.Error:
        pass
def open_from_menu(app, caption):
    before = windows(app)
    item = next((n for n, _ in walk(before[0]) if role(n) == "menu item" and name(n).split("\t")[0] == caption),
                None) or fail("no menu item %r" % caption)
    press(item)
    # The progress window of a reading that comes first is not the one, even
    # while its bar is not yet on the bus: the window must stay half a second.
    def settled():
        fresh = [w for w in windows(app) if w not in before and not any(role(n) == "progress bar" for n, _ in walk(w))]
        time.sleep(0.5)
        return next((w for w in reversed(fresh) if w in windows(app)), None)
    return wait_for("the window of %r" % caption, settled)
def panel_rows(app):
    for window in windows(app):
        for node, _ in walk(window):
            if role(node) == "panel" and name(node) == "Device panel":
                node.clear_cache()
                return [name(row) for row in children(node)]
    return []
def connect(app):
    """Connect, the first device listed, OK: as an operator connects."""
    dialog = open_from_menu(app, "Connect...")
    wait_for("a device in the list", lambda: any(role(n) == "list item" for n, _ in walk(dialog)))
    press(next(n for n, _ in walk(dialog) if role(n) == "push button" and name(n) == "OK"))
    wait_for("the device panel's rows", lambda: len(panel_rows(app)) == len(PANEL))
def problems_of(window, main):
    problems = [] if main or name(window) not in ("", "Field Service v1.10") else ["the window has no name of its own"]
    seen = {}
    for node, _ in walk(window):
        if role(node) in CONTROLS and showing(node):
            key = (role(node), name(node).strip())
            seen[key] = seen.get(key, 0) + 1
    problems += ["%d controls of role %s named %r" % (n, r, nm) if nm else "%d controls of role %s without a name"
                 % (n, r) for (r, nm), n in seen.items() if n > 1 or not nm]
    return problems
def panel_problems(app):
    rows = panel_rows(app)
    wanted = [c for c in PANEL if not any(r.startswith(c + ": ") and r[len(c) + 2:].strip() for r in rows)]
    bad = wanted or "Device name: PUMPCTRL" not in rows or "Status: No fault, code 0000" not in rows
    return ["the panel reads %r" % rows] if bad else []
def reading(window):
    lines = []
    for node, depth in walk(window):
        if depth and not showing(node):
            continue
        line = "  " * depth + role(node) + (' "%s"' % name(node) if name(node) else "")
        if role(node) in ("text", "password text") and "Text" in node.get_interfaces():
            line += " text=%r" % node.get_text(0, -1)
        lines.append(line + ("" if node.get_state_set().contains(Atspi.StateType.ENABLED) else " (dimmed)"))
    return "\n".join(lines) + "\n"
def main():
    args = sys.argv[1:]
    dump = args[args.index("--dump") + 1] if "--dump" in args else None
    args = [a for a in args if a not in ("--dump", dump)]
    if len(args) != 2 or args[1] not in WINDOWS:
        fail("usage: walk_windows.py DIST WINDOW [--dump FILE]; windows: " + ", ".join(WINDOWS))
    caption, connected = WINDOWS[args[1]]
    Atspi.set_timeout(2000, 2000)   # short calls: see press()
    folder, processes, app = start(args[0])
    try:
        if connected:
            connect(app)
        window = open_from_menu(app, caption) if caption else windows(app)[0]
        problems = problems_of(window, caption is None) + (panel_problems(app) if caption is None else [])
        if dump:
            with open(dump, "w") as out:
                out.write(reading(window))
    finally:
        for p in processes:
            p.send_signal(signal.SIGTERM)
        for p in processes:
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
        shutil.rmtree(folder, ignore_errors=True)
    if problems:
        fail("%s: %s" % (args[1], "; ".join(problems)))
    print("%s: 1 passed, 0 failed" % args[1])
if __name__ == "__main__":
    main()
