#!/usr/bin/env bash
# What Orca says unasked when Space on the button starts a run: the running state, the button
# focused again, the score, the outcome; then its flat review reads the score. Its debug log
# holds every line it would speak. Inside dbus-run-session and xvfb-run: orca-test.sh PROGRAM
set -uo pipefail
work=$(mktemp -d) log=$(mktemp -d)/orca.log pids=()
export HOME=$work XDG_CONFIG_HOME=$work XDG_DATA_HOME=$work XDG_CACHE_HOME=$work LC_ALL=C.UTF-8
trap '{ kill -KILL "${pids[@]}"; wait; } 2>/dev/null; rm -rf "$work" "${log%/*}"' EXIT
fail() { echo "FAIL: $*; Orca said:" && sed -n "s/.*SPEECH OUTPUT: //p" "$log" && cat "$work/err"; exit 1; } >&2
said() { # LINE, while the program runs
  kill -0 "${pids[2]}" 2>/dev/null || fail "the program ended"
  grep -aq "SPEECH OUTPUT: '$1" "$log"
}
reviewed() { (($(grep -ac "SPEECH OUTPUT: 'Kapsamlı Testi Başlat'" "$log") >= $1)); }
review() { # the whole window in flat review, which ends on the button
  xdotool key --delay 150 KP_Add KP_Add
  wait_until 30 "flat review $1" reviewed "$1"
}
wait_until() { # SECONDS WHAT COMMAND...
  for ((i = 0; i < $1 * 5; i++)); do "${@:3}" && return || sleep 0.2; done
  fail "$2, not within $1 s"
}
# Written line by line, Orca's log can be followed, and Orca (whose shutdown can hang) killed.
echo 'from orca import debug; debug.debugFile.reconfigure(line_buffering=True)' \
  >"$work/orca-customizations.py"
openbox >/dev/null 2>&1 & pids+=($!)
orca --user-prefs "$work" --debug-file "$log" >/dev/null 2>&1 & pids+=($!)
wait_until 60 "Orca started" grep -saq 'ORCA: Startup complete' "$log"
"$1" >/dev/null 2>"$work/err" & pids+=($!)

button='Kapsamlı Testi Başlat push button'
running='Bütünleşik Bellek (Unified Memory) ve CPU çekirdekleri stres testine tabi tutuluyor'
wait_until 60 "the focused button read when the window opens" said "$button"
review 1 # Orca keeps what it reads, the hidden parts too
xdotool key space
wait_until 60 "the running state spoken" said "$running"
wait_until 240 "the outcome spoken" said '⚠️ Bağlantı hatası: Skor gönderilemedi.'
review 2
after=$(sed -n "/SPEECH OUTPUT: '$running/,/SPEECH OUTPUT: '⚠️/p" "$log") # unasked
grep -q "SPEECH OUTPUT: '$button" <<<"$after" || fail "the button's focus after the run unspoken"
grep -qE "OUTPUT: 'Xcode Build Derleme Skoru [0-9.]+ Saniye" <<<"$after" || fail "no score spoken"
grep -aq "SPEECH OUTPUT: 'Xcode Build Derleme Skoru'" "$log" || fail "the score not in flat review"
echo OK
