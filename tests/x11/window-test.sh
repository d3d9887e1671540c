#!/usr/bin/env bash
# The real program under the X server that xvfb-run started, driven as a user would: one
# untitled 450×500 window; a click on the button starts a run (its fill turns from blue to a
# dark gray); a close request in the middle of the run ends the program with status 0 in 2 s.
# Qt's own options on the command line are ignored: a style sheet given there would flatten the
# button to 4 px and lose its fill.
#   window-test.sh PROGRAM DESKTOP-ENTRY
set -uo pipefail
style=$(mktemp --suffix=.qss)
echo 'QPushButton { max-height: 4px; background: #ff0000; }' >"$style"
QT_QPA_PLATFORM=xcb "$1" -stylesheet "$style" &
app=$!
fail() { echo "FAIL: $*" >&2; kill "$app"; rm -f "$style"; exit 1; }

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

fill_is() { # blue|gray: the button's fill left of its label, within 5 s
  for _ in $(seq 50); do
    rgb=$(import -window "$win" -crop 1x1+50+448 -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}')
    r=$((16#${rgb:1:2})) b=$((16#${rgb:5:2}))
    [[ $1 == blue ]] && ((r < 40 && b > 220)) && return
    [[ $1 == gray ]] && ((b - r < 16 && r > 0x20 && b < 0x60)) && return
    sleep 0.1
  done
  fail "the button's fill is $rgb, not $1"
}
fill_is blue
xdotool mousemove --window "$win" 225 448 click 1
fill_is gray

# What a window manager's close button sends: WM_DELETE_WINDOW (xdotool can only destroy).
python3 - "$win" <<'END'
import ctypes as C, ctypes.util, sys
x = C.CDLL(ctypes.util.find_library("X11"))
x.XOpenDisplay.restype, x.XInternAtom.restype = C.c_void_p, C.c_ulong
x.XInternAtom.argtypes = [C.c_void_p, C.c_char_p, C.c_int]
x.XSendEvent.argtypes = [C.c_void_p, C.c_ulong, C.c_int, C.c_long, C.c_void_p]
x.XCloseDisplay.argtypes = [C.c_void_p]
d, w = x.XOpenDisplay(None), int(sys.argv[1])
# An XClientMessageEvent as 24 longs: ClientMessage (33), serial, send_event, display, window,
# WM_PROTOCOLS, format 32, then the data: WM_DELETE_WINDOW. Closing the display flushes it.
x.XSendEvent(d, w, 0, 0, (C.c_ulong * 24)(33, 0, 1, d, w, x.XInternAtom(d, b"WM_PROTOCOLS", 0),
                                          32, x.XInternAtom(d, b"WM_DELETE_WINDOW", 0)))
x.XCloseDisplay(d)
END
for _ in $(seq 20); do kill -0 "$app" 2>/dev/null && sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "still running 2 s after the close request"
rm -f "$style"
wait "$app" || fail "exit status $? after closing mid-run"
