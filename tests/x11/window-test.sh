#!/usr/bin/env bash
# The real program under the X server that xvfb-run started, driven as a user
# would: one untitled 450×500 window; a click on the button starts a run; a
# close request in the middle of it ends the program with status 0 within 2 s.
#   window-test.sh PROGRAM
set -euo pipefail
here=$(dirname "${BASH_SOURCE[0]}")

QT_QPA_PLATFORM=xcb "$1" &
app=$!
fail() {
  echo "FAIL: $*" >&2
  kill "$app" 2>/dev/null || true
  exit 1
}

win=$(timeout 10 xdotool search --sync --onlyvisible --pid "$app" | head -n 1) ||
  fail "no window within 10 s"
(($(xdotool search --onlyvisible --pid "$app" | wc -l) == 1)) || fail "more than one window"
size=$(xwininfo -id "$win" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }')
[[ $size == 450x500 ]] || fail "window is $size, not 450x500"
for name in WM_NAME _NET_WM_NAME; do
  title=$(xprop -id "$win" "$name")
  [[ $title =~ (not found|= (\"\")?$) ]] || fail "title not empty: $title"
done
xprop -id "$win" WM_PROTOCOLS | grep -q WM_DELETE_WINDOW || fail "close requests ignored"

# The button's fill, left of its label: blue when idle, a dark gray while running.
fill_is() { # idle|running; waits up to 5 s
  local rgb
  for _ in $(seq 50); do
    rgb=$(import -window "$win" -crop 1x1+50+448 -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}')
    local r=$((16#${rgb:1:2})) g=$((16#${rgb:3:2})) b=$((16#${rgb:5:2}))
    if [[ $1 == idle ]] && ((r < 40 && b > 220)); then return 0; fi
    if [[ $1 == running ]] && ((b - r < 16 && r > 0x20 && b < 0x60)); then return 0; fi
    sleep 0.1
  done
  echo "button fill $rgb" >&2
  return 1
}
fill_is idle || fail "the idle button is not blue"
xdotool mousemove --window "$win" 225 448 click 1
fill_is running || fail "a click did not start a run"

python3 "$here/close-window.py" "$win"
for _ in $(seq 20); do
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$app" 2>/dev/null && fail "still running 2 s after the close request"
status=0
wait "$app" || status=$?
((status == 0)) || fail "exit status $status after closing mid-run"
echo "window test passed"
