#!/usr/bin/python3
"""Reads the real window as screen readers do, on the session bus and X server that
dbus-run-session and xvfb-run give it: over AT-SPI with Debian's pyatspi (hence Debian's own
interpreter), and as Orca, with a window manager, speaks it: unasked once the button's action
starts a run (the running state, the button focused again, the score, the outcome), and in flat
review before and after. Orca's debug log holds every line it would speak.
    screen_reader.py PROGRAM"""
import os
import re
import subprocess
import sys
import tempfile
import time

import pyatspi

CAPTIONS = {"Donanım Modeli:", "İşlemci / Çip:", "Bütünleşik Bellek (RAM):"}
UNREACHABLE = "⚠️ Bağlantı hatası: Skor gönderilemedi. İnternet bağlantınızı kontrol edin."
BUTTON, SCORE = "Kapsamlı Testi Başlat", "Xcode Build Derleme Skoru"
RUNNING = "Bütünleşik Bellek (Unified Memory) ve CPU çekirdekleri stres testine tabi tutuluyor"
HOME = tempfile.mkdtemp()


def spoken():
    """Each line Orca said so far, from its first word on."""
    with open(f"{HOME}/orca.log", encoding="utf-8", errors="replace") as log:
        return re.findall(r"SPEECH OUTPUT: '(.*)", log.read())


def said(start, lines=None):
    return any(line.startswith(start) for line in lines or spoken())


def wait(what, seconds, done):
    for _ in range(seconds * 5):
        if found := done():
            return found
        time.sleep(0.2)
    sys.exit(f"FAIL: {what}, not within {seconds} s; Orca said: {spoken()}")


def review(times):  # the whole window in flat review, which ends on the button
    subprocess.run(["xdotool", "key", "--delay", "150", "KP_Add", "KP_Add"], check=True)
    wait(f"flat review {times}", 30, lambda: spoken().count(BUTTON + "'None") >= times)


def walk(node):
    yield node
    for child in node:
        yield from walk(child)


def named(window, role, name=None):
    return [n for n in walk(window) if n.getRole() == role and name in (None, n.name)]


def read_facts(window):
    assert window.getRole() == pyatspi.ROLE_FRAME and window.name, window.getRoleName()
    assert named(window, pyatspi.ROLE_HEADING, window.name), "the title is no heading"
    facts = {node.name: rel.getTarget(0) for node in walk(window) for rel in
             node.getRelationSet() if rel.getRelationType() == pyatspi.RELATION_LABEL_FOR}
    assert set(facts) == CAPTIONS, f"captions related to values: {sorted(facts)}"
    assert facts["Bütünleşik Bellek (RAM):"].name.endswith(" GB"), "memory not read"
    # An empty value, read by its own name, would be read as its caption.
    assert all(value.name for value in facts.values()), "an empty fact has no name"
    status = named(window, pyatspi.ROLE_NOTIFICATION, "Hazır. Lütfen testi başlatın.")
    assert len(status) == 1, "no notification reads the ready text"
    assert status[0].parent.getRole() == pyatspi.ROLE_STATUS_BAR, "the status is in no status bar"
    return status[0]


def read_run(window, status):
    """Said unasked between the running state and the outcome: the button focused again, then
    the score; the button read as running meanwhile; then the score in flat review."""
    button, running = named(window, pyatspi.ROLE_PUSH_BUTTON)[0], []
    button.queryAction().doAction(0)
    wait("the outcome spoken", 240, lambda: running.append(
        button.name == "Stres Testi Sürüyor..." and not button.getState().contains(
            pyatspi.STATE_SENSITIVE)) or said(UNREACHABLE))
    assert any(running), "the running state was never read from the button"
    assert status.name == UNREACHABLE, f"status reads {status.name!r}"
    review(2)
    lines = spoken()
    first = next((i for i, line in enumerate(lines) if line.startswith(RUNNING)), len(lines))
    after = lines[first:next(i for i, line in enumerate(lines) if line.startswith(UNREACHABLE))]
    assert after, f"the running state unspoken: {lines}"
    assert said(BUTTON + " push button", after), f"the button's focus after the run: {lines}"
    assert any(re.match(SCORE + r" [0-9.]+ Saniye", line) for line in after), f"no score: {lines}"
    assert SCORE + "'None" in lines, f"the score not in flat review: {lines}"


os.environ.update(HOME=HOME, XDG_CONFIG_HOME=HOME, XDG_DATA_HOME=HOME, XDG_CACHE_HOME=HOME,
                  LC_ALL="C.UTF-8", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
# Written line by line, Orca's log can be followed, and Orca (whose shutdown can hang) killed.
with open(f"{HOME}/orca-customizations.py", "w", encoding="utf-8") as customizations:
    customizations.write("from orca import debug; debug.debugFile.reconfigure(line_buffering=True)")
open(f"{HOME}/orca.log", "w").close()
children = [subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for command in (["openbox"], ["orca", "--user-prefs", HOME, "--debug-file",
                                          f"{HOME}/orca.log"])]
try:
    wait("Orca started", 60, lambda: "ORCA: Startup complete" in open(f"{HOME}/orca.log").read())
    children.append(subprocess.Popen([sys.argv[1]], stdout=subprocess.DEVNULL))
    window = wait("the program on the accessibility bus", 60, lambda: next(
        (app[0] for app in pyatspi.Registry.getDesktop(0)
         if app and app.name == os.path.basename(sys.argv[1]) and app.childCount), None))
    status = read_facts(window)
    wait("the focused button read when the window opens", 60,
         lambda: said(BUTTON + " push button"))
    review(1)  # Orca keeps what it reads, the hidden parts too
    read_run(window, status)
finally:
    for child in children:
        child.kill()
        child.wait(10)
print("OK")
