#!/usr/bin/python3
"""The drive selector as a screen reader hears it over the accessibility bus.

Run inside a private D-Bus session (dbus-run-session), which starts the accessibility bus on demand:
    drive_selector_atspi_test.py PICKER_SHOWCASE
The showcase runs on a virtual X server of the test's own. The selector must be named "Drive", carry
the current drive's text, and have exactly that row of its list in the selected state, before and
after another drive is chosen. Exit status 0 passed, 1 failed, 77 skipped (no AT-SPI client library).
"""
import os
import subprocess
import sys
import time

try:
    import gi

    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, GLib
except (ImportError, ValueError) as error:
    print(f"SKIP: no AT-SPI client library: {error}")
    sys.exit(77)

FAILURES = []


def check(what, ok, detail=""):
    print(("ok: " if ok else "FAIL: ") + what + (f" ({detail})" if detail and not ok else ""))
    if not ok:
        FAILURES.append(what)


def start_x_server():
    """Xvfb picks a free display itself and writes its number to the pipe it is given."""
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
        pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    with os.fdopen(read_end, "rb") as pipe:
        while not number.endswith(b"\n"):
            byte = pipe.read(1)
            if not byte:
                break
            number += byte
    if not number.strip():
        server.kill()
        server.wait()
        raise SystemExit("FAIL: Xvfb gave no display")
    return server, ":" + number.decode().strip()


def states(node):
    return node.get_state_set()


def find(node, role, depth=0):
    """The first node of a role below node, depth first."""
    if node.get_role() == role:
        return node
    if depth > 12:
        return None
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        found = child and find(child, role, depth + 1)
        if found:
            return found
    return None


def wait_for(what, probe, seconds=30):
    """Polls until probe gives something: the bus and the program come up at their own pace."""
    end = time.monotonic() + seconds
    while True:
        try:
            value = probe()
        except GLib.Error:
            value = None
        if value or time.monotonic() > end:
            return value
        time.sleep(0.2)


def application(name):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_name() == name:
            return app
    return None


def combo_text(combo):
    if "Text" not in combo.get_interfaces():
        return None
    return Atspi.Text.get_text(combo, 0, Atspi.Text.get_character_count(combo))


def selected_rows(combo):
    rows = []
    lists = find(combo, Atspi.Role.LIST)
    if lists is None:
        return None
    for i in range(lists.get_child_count()):
        row = lists.get_child_at_index(i)
        if row is not None and states(row).contains(Atspi.StateType.SELECTED):
            rows.append(row.get_name())
    return rows


def check_hears(combo, drive):
    check(f'the selector is named "Drive" with {drive!r} chosen', combo.get_name() == "Drive", repr(combo.get_name()))
    text = wait_for("text", lambda: combo_text(combo) == drive and drive, 10) and combo_text(combo)
    check(f"the selector's text is the current drive {drive!r}", text == drive, repr(combo_text(combo)))
    rows = wait_for("rows", lambda: selected_rows(combo) == [drive], 10) and [drive]
    check(f"exactly the row {drive!r} is selected in the list", rows == [drive], repr(selected_rows(combo)))


def main():
    showcase = sys.argv[1]
    server, display = start_x_server()
    environment = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    program = subprocess.Popen([showcase, "", "120000"], env=environment)
    try:
        app = wait_for("application", lambda: application(os.path.basename(showcase)))
        if app is None:
            raise SystemExit("FAIL: the showcase never showed on the accessibility bus")
        combo = wait_for("combo", lambda: find(app, Atspi.Role.COMBO_BOX))
        if combo is None:
            raise SystemExit("FAIL: no combo box on the bus")
        check_hears(combo, "c: [system]")

        # Another drive chosen with the keyboard, as a reader would. With no window manager the window
        # is given the input focus by hand; then the selector takes the focus through the bus.
        windows = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(program.pid)],
                                 env=environment, capture_output=True, text=True).stdout.split()
        check("the showcase has a window", bool(windows))
        for window in windows:
            subprocess.run(["xdotool", "windowfocus", "--sync", window], env=environment)
        combo.grab_focus()
        check("the selector takes the focus",
              wait_for("focus", lambda: combo.get_state_set().contains(Atspi.StateType.FOCUSED), 10))
        subprocess.run(["xdotool", "key", "Down"], env=environment)
        check_hears(combo, "d: [disc&data]")
    finally:
        program.terminate()
        program.wait()
        server.terminate()
        server.wait()
    if FAILURES:
        print(f"{len(FAILURES)} failed")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
