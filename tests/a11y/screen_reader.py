#!/usr/bin/python3
"""Reads the real window over AT-SPI, as a screen reader does.

Run inside dbus-run-session and xvfb-run: screen_reader.py PROGRAM [qt-options]
Without a second argument it reads the facts, starts a run and waits for the
outcome and its event. With "qt-options" it starts the program with Qt's own
options and checks that they changed nothing.
"""
import os
import subprocess
import sys
import tempfile
import time

import pyatspi
from gi.repository import GLib

FACT_CAPTIONS = {"Donanım Modeli:", "İşlemci / Çip:", "Bütünleşik Bellek (RAM):"}
READY = "Hazır. Lütfen testi başlatın."
RUNNING_BUTTON = "Stres Testi Sürüyor..."
UNREACHABLE = ("\u26a0\ufe0f Bağlantı hatası: Skor gönderilemedi. "
               "İnternet bağlantınızı kontrol edin.")
SCORE_CAPTION = "Xcode Build Derleme Skoru: "


def fail(message):
    print("FAIL:", message)
    sys.exit(1)


def walk(node):
    yield node
    for child in node:
        if child is not None:
            yield from walk(child)


def find_window(program, timeout=30):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == os.path.basename(program) and app.childCount:
                return app[0]
        time.sleep(0.2)
    fail("the program never appeared on the accessibility bus")


def labelled_values(window):
    """Each label that names another, with the name of what it labels."""
    pairs = {}
    for node in walk(window):
        for relation in node.getRelationSet():
            if relation.getRelationType() == pyatspi.RELATION_LABEL_FOR:
                pairs[node.name] = relation.getTarget(0)
    return pairs


def by_role(window, role):
    return [node for node in walk(window) if node.getRole() == role]


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def read_run(window):
    if window.getRole() != pyatspi.ROLE_FRAME or not window.name:
        fail(f"window is a {window.getRoleName()} named {window.name!r}")
    facts = labelled_values(window)
    if set(facts) != FACT_CAPTIONS:
        fail(f"captions related to values: {sorted(facts)}")
    if not facts["Bütünleşik Bellek (RAM):"].name.endswith(" GB"):
        fail("the memory value is not read with its caption")
    labels = by_role(window, pyatspi.ROLE_LABEL)
    status = next((label for label in labels if label.name == READY), None)
    if status is None:
        fail(f"no status reads {READY!r}: {[label.name for label in labels]}")
    button = by_role(window, pyatspi.ROLE_PUSH_BUTTON)[0]

    seen = {"running": False, "events": []}
    loop = GLib.MainLoop()

    def on_name(event):
        seen["events"].append(event.source.name)

    def poll():
        if button.name == RUNNING_BUTTON and not button.getState().contains(pyatspi.STATE_SENSITIVE):
            seen["running"] = True
        if UNREACHABLE in seen["events"]:
            loop.quit()
        return True

    pyatspi.Registry.registerEventListener(on_name, "object:property-change:accessible-name")
    button.queryAction().doAction(0)
    GLib.timeout_add(50, poll)
    GLib.timeout_add_seconds(240, loop.quit)
    loop.run()

    if not seen["running"]:
        fail("the running state was never read from the button")
    if UNREACHABLE not in seen["events"]:
        fail(f"no event brought the outcome; events: {seen['events']}")
    if status.name != UNREACHABLE:
        fail(f"the status reads {status.name!r}")
    scores = [label.name for label in labels if label.name.startswith(SCORE_CAPTION)]
    if len(scores) != 1 or not scores[0].endswith(" Saniye"):
        fail(f"score: {scores}")


def check_qt_options_ignored(window):
    facts = labelled_values(window)
    for caption, value in facts.items():
        caption_node = next(n for n in walk(window) if n.name == caption and n != value)
        left = caption_node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS).x
        if left >= value.queryComponent().getExtents(pyatspi.DESKTOP_COORDS).x:
            fail(f"{caption!r} stands right of its value: the layout was mirrored")
    button = by_role(window, pyatspi.ROLE_PUSH_BUTTON)[0]
    if button.queryComponent().getExtents(pyatspi.DESKTOP_COORDS).height < 20:
        fail("the style sheet from the command line was applied")


def main():
    program = sys.argv[1]
    qt_options = sys.argv[2:] == ["qt-options"]
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    with tempfile.NamedTemporaryFile("w", suffix=".qss") as style:
        style.write("QPushButton { max-height: 4px; }\n")
        style.flush()
        arguments = ["-reverse", "-stylesheet", style.name] if qt_options else []
        child = subprocess.Popen([program, *arguments], env=env)
        try:
            window = find_window(program)
            check_qt_options_ignored(window) if qt_options else read_run(window)
        finally:
            child.terminate()
            child.wait(10)
    print("OK")


if __name__ == "__main__":
    main()
