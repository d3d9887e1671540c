#!/usr/bin/env bash
# The real program as users drive and screen readers read it, under the X server and session bus
# that xvfb-run and dbus-run-session started, with openbox and Orca: its window; over AT-SPI, a run
# its button's action starts; what Orca says unasked meanwhile and in flat review (its debug log
# holds every line it would speak); then a run a click starts, closed in its middle.
#   window-test.sh PROGRAM DESKTOP-ENTRY DEBIAN-PYTHON
set -uo pipefail
work=$(mktemp -d) pids=()
log=$work/orca.log
export HOME=$work XDG_CONFIG_HOME=$work XDG_DATA_HOME=$work XDG_CACHE_HOME=$work LC_ALL=C.UTF-8
trap '{ kill -KILL "${pids[@]}"; wait; } 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*; Orca said:" && sed -n "s/.*SPEECH OUTPUT: //p" "$log"; exit 1; } >&2
said() { grep -aq "SPEECH OUTPUT: '$1" "$log"; }
reviewed() { (($(grep -ac "SPEECH OUTPUT: 'Kapsamlı Testi Başlat'" "$log") >= $1)); }
review() { # the whole window in flat review, which ends on the button
  xdotool key --delay 150 KP_Add KP_Add
  wait_until 30 "flat review $1" reviewed "$1"
}
wait_until() { # SECONDS WHAT COMMAND...
  for ((i = 0; i < $1 * 10; i++)); do "${@:3}" && return || sleep 0.1; done
  fail "$2, not within $1 s"
}
# Written line by line, Orca's log can be followed, and Orca (whose shutdown can hang) killed.
echo 'from orca import debug; debug.debugFile.reconfigure(line_buffering=True)' \
  >"$work/orca-customizations.py"
openbox >/dev/null 2>&1 & pids+=($!)
orca --user-prefs "$work" --debug-file "$log" >/dev/null 2>&1 & pids+=($!)
wait_until 60 "Orca started" grep -saq 'ORCA: Startup complete' "$log"
# Qt's own options are ignored: taken, this style sheet would flatten the button and lose its fill.
echo 'QPushButton { max-height: 4px; background: #ff0000; }' >"$work/style.qss"
QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$1" -stylesheet "$work/style.qss" &
app=$! && pids+=("$app")

win=$(timeout 10 xdotool search --sync --onlyvisible --pid "$app" | head -n 1)
[[ -n $win ]] || fail "no window within 10 s"
(($(xdotool search --onlyvisible --pid "$app" | wc -l) == 1)) || fail "more than one window"
size=$(xwininfo -id "$win" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }')
[[ $size == 450x500 ]] || fail "window is $size, not 450x500"
for name in WM_NAME _NET_WM_NAME; do
  title=$(xprop -id "$win" "$name")
  [[ $title =~ (not found|= (\"\")?$) ]] || fail "title not empty: $title"
done
xprop -id "$win" WM_PROTOCOLS | grep -q WM_DELETE_WINDOW || fail "close requests ignored"
# Docks tie the window to its desktop entry by WM_CLASS's class, and show its own icon.
class=$(xprop -id "$win" WM_CLASS | sed -n 's/.*, "\(.*\)"$/\1/p')
[[ $class == "$(sed -n 's/^StartupWMClass=//p' "$2")" ]] || fail "WM_CLASS class '$class' is not the entry's"
xprop -id "$win" _NET_WM_ICON | grep -q 'not found' && fail "the window has no icon"
fill_is() { # blue|gray: the button's fill left of its label
  rgb=$(import -window "$win" -crop 1x1+50+448 -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}')
  r=$((16#${rgb:1:2})) b=$((16#${rgb:5:2}))
  if [[ $1 == blue ]]; then ((r < 40 && b > 220)); else ((b - r < 16 && r > 0x20 && b < 0x60)); fi
}
wait_until 5 "the button's fill blue" fill_is blue

button='Kapsamlı Testi Başlat push button'
running='Bütünleşik Bellek (Unified Memory) ve CPU çekirdekleri stres testine tabi tutuluyor'
wait_until 60 "the focused button read when the window opens" said "$button"
review 1 # Orca keeps what it reads, the hidden parts too
"$3" - "$1" <<'END' || fail "the window read over AT-SPI"
import os, sys, time
import pyatspi
def walk(node):
    yield node
    for child in node:
        yield from walk(child)
def named(role, name=None):
    return [n for n in walk(window) if n.getRole() == role and name in (None, n.name)]
# On the bus by now: Orca read its button.
window = next(app for app in pyatspi.Registry.getDesktop(0)
              if app and app.name == os.path.basename(sys.argv[1]))[0]
assert window.getRole() == pyatspi.ROLE_FRAME and window.name, window.getRoleName()
assert named(pyatspi.ROLE_HEADING, window.name), "the title is no heading"
facts = {node.name: rel.getTarget(0) for node in walk(window) for rel in node.getRelationSet()
         if rel.getRelationType() == pyatspi.RELATION_LABEL_FOR}
assert set(facts) == {"Donanım Modeli:", "İşlemci / Çip:", "Bütünleşik Bellek (RAM):"}, facts
assert facts["Bütünleşik Bellek (RAM):"].name.endswith(" GB"), "memory not read"
# An empty value, read by its own name, would be read as its caption.
assert all(value.name for value in facts.values()), "an empty fact has no name"
status = named(pyatspi.ROLE_NOTIFICATION, "Hazır. Lütfen testi başlatın.")
assert len(status) == 1, "no notification reads the ready text"
assert status[0].parent.getRole() == pyatspi.ROLE_STATUS_BAR, "the status is in no status bar"
button, running = named(pyatspi.ROLE_PUSH_BUTTON)[0], []
button.queryAction().doAction(0)
for _ in range(2400):  # 240 s
    running.append(button.name == "Stres Testi Sürüyor..." and
                   not button.getState().contains(pyatspi.STATE_SENSITIVE))
    if status[0].name.startswith("⚠️ Bağlantı hatası"):
        break
    time.sleep(0.1)
assert any(running), "the running state was never read from the button"
assert status[0].name.startswith("⚠️ Bağlantı hatası"), f"status reads {status[0].name!r}"
END
wait_until 60 "the running state spoken" said "$running"
wait_until 60 "the outcome spoken" said '⚠️ Bağlantı hatası: Skor gönderilemedi.'
review 2
after=$(sed -n "/SPEECH OUTPUT: '$running/,/SPEECH OUTPUT: '⚠️/p" "$log") # unasked
grep -q "SPEECH OUTPUT: '$button" <<<"$after" || fail "the button's focus after the run unspoken"
grep -qE "OUTPUT: 'Xcode Build Derleme Skoru [0-9.]+ Saniye" <<<"$after" || fail "no score spoken"
grep -aq "SPEECH OUTPUT: 'Xcode Build Derleme Skoru'" "$log" || fail "the score not in flat review"

xdotool mousemove --window "$win" 225 448 click 1
wait_until 5 "the button's fill gray" fill_is gray
xdotool key alt+F4 # openbox's close, which sends the focused window WM_DELETE_WINDOW
for _ in $(seq 20); do kill -0 "$app" 2>/dev/null && sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "still running 2 s after the close request"
wait "$app" || fail "exit status $? after closing mid-run"
echo OK
