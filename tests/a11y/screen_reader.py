#!/usr/bin/python3
"""Reads the real window over AT-SPI, as a screen reader does. Run inside
dbus-run-session and xvfb-run: screen_reader.py PROGRAM"""
import os
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

CAPTIONS = {"Donanım Modeli:", "İşlemci / Çip:", "Bütünleşik Bellek (RAM):"}
UNREACHABLE = "⚠️ Bağlantı hatası: Skor gönderilemedi. İnternet bağlantınızı kontrol edin."


def walk(node):
    yield node
    for child in node:
        yield from walk(child)


def find_window(program):
    for _ in range(300):  # 60 s: a sanitizer build starts slowly
        for app in pyatspi.Registry.getDesktop(0):
            if app and app.name == os.path.basename(program) and app.childCount:
                return app[0]
        time.sleep(0.2)
    sys.exit("FAIL: the program never appeared on the accessibility bus")


def captions(window):
    return {node.name: rel.getTarget(0) for node in walk(window)
            for rel in node.getRelationSet()
            if rel.getRelationType() == pyatspi.RELATION_LABEL_FOR}


def named(window, role, name=None):
    return [n for n in walk(window) if n.getRole() == role and name in (None, n.name)]


def shown(node):
    return all(map(node.getState().contains, (pyatspi.STATE_VISIBLE, pyatspi.STATE_SHOWING)))


def read_run(window):
    assert window.getRole() == pyatspi.ROLE_FRAME and window.name, window.getRoleName()
    assert named(window, pyatspi.ROLE_HEADING, window.name), "the title is no heading"
    facts = captions(window)
    assert set(facts) == CAPTIONS, f"captions related to values: {sorted(facts)}"
    assert facts["Bütünleşik Bellek (RAM):"].name.endswith(" GB"), "memory not read"
    # An empty value, read by its own name, would be read as its caption.
    assert all(value.name for value in facts.values()), "an empty fact has no name"
    status = named(window, pyatspi.ROLE_NOTIFICATION, "Hazır. Lütfen testi başlatın.")
    assert len(status) == 1, "no notification reads the ready text"
    assert status[0].parent.getRole() == pyatspi.ROLE_STATUS_BAR, "the status is in no status bar"
    button = named(window, pyatspi.ROLE_PUSH_BUTTON)[0]
    seen, events, loop = [], [], GLib.MainLoop()

    def poll():
        sensitive = button.getState().contains(pyatspi.STATE_SENSITIVE)
        seen.append(button.name == "Stres Testi Sürüyor..." and not sensitive)
        if UNREACHABLE in events:
            loop.quit()
        return True

    pyatspi.Registry.registerEventListener(lambda event: events.append(event.source.name),
                                           "object:property-change:accessible-name")
    button.queryAction().doAction(0)
    GLib.timeout_add(50, poll)
    GLib.timeout_add_seconds(240, loop.quit)
    loop.run()
    assert any(seen), "the running state was never read from the button"
    assert UNREACHABLE in events, f"no event brought the outcome: {events}"
    assert status[0].name == UNREACHABLE, f"status reads {status[0].name!r}"
    # Read, caption then value, from the group that appeared with the score.
    groups = [[label.name for label in group if shown(label)]
              for group in named(window, pyatspi.ROLE_NOTIFICATION) if shown(group)]
    assert [g for g in groups if g[:1] == ["Xcode Build Derleme Skoru"] and len(g) == 2
            and g[1].endswith(" Saniye")], f"no score read: {groups}"


program = sys.argv[1]
child = subprocess.Popen([program], env=dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1"))
try:
    read_run(find_window(program))
finally:
    child.terminate()
    child.wait(10)
print("OK")
